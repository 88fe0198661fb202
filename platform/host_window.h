// Messages to the host's main window: PostMessageA on Windows; elsewhere the
// host's window is an EndOfSongSink, whose function receives the message.
#pragma once

#include <cstdint>

#include "platform/host_interface.h"

namespace velk {

// Posts without waiting for the host to handle it. Nothing happens when the
// host has not given a window.
void postToHostWindow(HostWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

} // namespace velk
