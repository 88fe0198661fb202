#include "module/notices.h"

#include <windows.h>

namespace velk {

void showNotice(HostWindow parent, const char *text)
{
    MessageBoxA(static_cast<HWND>(parent), text, noticeCaption, MB_OK);
}

} // namespace velk
