#include "module/notices.h"

#include <cstdio>
#include <string>

namespace velk {

void showNotice(HostWindow, const char *text)
{
    // A terminal wants plain line feeds.
    std::string lines = text;
    for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;)
        lines.erase(at, 1);
    std::fprintf(stderr, "%s: %s\n", noticeCaption, lines.c_str());
}

} // namespace velk
