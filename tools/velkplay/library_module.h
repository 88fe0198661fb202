// libvelk presented as an input module: the record the playlist drives, so
// that velkplay plays through the library and through a plug-in alike. Its
// Play opens the song with the options set here and a thread renders it into
// the host's output module; the end of a song is posted to the host's window
// as the plug-in posts it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "platform/host_interface.h"
#include "tools/velkplay/listening.h"
#include "tools/velkplay/voice_panel.h"

namespace velk::play {

// The options every song is opened with (rate, channels, emulator, bends).
void setLibraryOptions(const velk_options &options);

// The record; the host fills in its window and output module.
In_Module &libraryModule();

// Why the last Play failed (the library's message).
std::string &lastOpenError();

// Mutes, tempo and key for the song playing and the songs opened after: the
// render thread applies them to the next block it renders, so they are heard
// once the audio already buffered has played (within a second).
void setListening(const Listening &listening);

// The gain "even loudness" gives the song playing, once its loudness is
// measured (a few seconds after it opens); none before, or when it could not
// be, with `failure` saying why.
std::optional<double> evenLoudnessGainDb(std::string &failure);

// The song's voices as the listener hears them now (the states read after
// the block being heard was rendered); empty when no song plays.
std::vector<HeardVoice> heardVoices();

} // namespace velk::play
