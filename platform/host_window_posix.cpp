#include "platform/host_window.h"

namespace velk {

void postToHostWindow(HostWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto *sink = static_cast<EndOfSongSink *>(window);
    if (sink && sink->post)
        sink->post(sink->context, message, wParam, lParam);
}

} // namespace velk
