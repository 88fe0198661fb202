// The host's main window as the render thread sees it, for tests: a
// message-only window on Windows, an EndOfSongSink elsewhere. Either way the
// receiver hears every message posted to it.
#pragma once

#include <cstdint>

#include "platform/host_interface.h"

namespace velk::test {

class EndOfSongProbe {
public:
    using Receiver = void (*)(void *context, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    EndOfSongProbe(Receiver receiver, void *context);
    ~EndOfSongProbe();
    EndOfSongProbe(const EndOfSongProbe &) = delete;
    EndOfSongProbe &operator=(const EndOfSongProbe &) = delete;

    HostWindow window() const { return window_; }
    // Hands the messages posted so far to the receiver. Windows queues them
    // for the thread that made the probe, which must call this; a sink
    // receives them at once and this does nothing.
    void deliver();
    // Passes one message that reached the window to the receiver.
    void receive(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
    {
        receiver_(context_, message, wParam, lParam);
    }

private:
    Receiver receiver_;
    void *context_;
    HostWindow window_ = nullptr;
};

} // namespace velk::test
