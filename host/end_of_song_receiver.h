// What receives the plug-in's end-of-song message: a hidden window on Windows
// (the message is posted to it and delivered by `pump`), an EndOfSongSink on
// Linux (the render thread calls it directly).
#pragma once

#include <memory>

#include "platform/host_interface.h"

namespace velk::host {

class EndOfSongReceiver {
public:
    EndOfSongReceiver();
    ~EndOfSongReceiver();
    EndOfSongReceiver(const EndOfSongReceiver &) = delete;
    EndOfSongReceiver &operator=(const EndOfSongReceiver &) = delete;

    // What goes into the record's hMainWindow.
    HostWindow window() const;
    // Delivers what was posted, waiting at most `waitMs` for something to come.
    void pump(int waitMs);
    // WM_USER+2 with both parameters 0, as delivered so far.
    int endOfSongMessages() const;
    // Any other message posted to the window.
    int otherMessages() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace velk::host
