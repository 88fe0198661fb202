#include "platform/host_window.h"

#include <windows.h>

namespace velk {

void postToHostWindow(HostWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    // A null window would post to the calling thread's own queue.
    if (window)
        PostMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

} // namespace velk
