// The output module velkplay lends the plug-in: the sound card through SDL2.
// Write fills a ring buffer that SDL's audio callback drains; CanWrite is the
// ring's free room; GetOutputTime is the time of the audio the device has
// consumed, GetWrittenTime that of the audio written; Flush drops what is
// buffered and restarts the clock at its time; IsPlaying holds while the
// device still has audio to play.
//
// The host record gives its functions no context, so there is one output per
// process, reached through these free functions.
#pragma once

#include <string>

#include "platform/host_interface.h"

namespace velk::play {

// Starts SDL's audio and makes sure that `device` (empty: the system's
// default) opens for the plug-in's format; on failure `error` says why.
bool startSound(const std::string &device, std::string &error);
// Ends SDL's audio; the output must be closed.
void stopSound();

// The record handed to the plug-in as `outMod`.
Out_Module &soundOutputModule();

} // namespace velk::play
