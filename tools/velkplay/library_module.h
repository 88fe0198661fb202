// libvelk presented as an input module: the record the playlist drives, so
// that velkplay plays through the library and through a plug-in alike. Its
// Play opens the song with the options set here and a thread renders it into
// the host's output module; the end of a song is posted to the host's window
// as the plug-in posts it.
#pragma once

#include <string>

#include "libvelk/velk.h"
#include "platform/host_interface.h"

namespace velk::play {

// The options every song is opened with (rate, channels, emulator, bends).
void setLibraryOptions(const velk_options &options);

// The record; the host fills in its window and output module.
In_Module &libraryModule();

// Why the last Play failed (the library's message).
std::string &lastOpenError();

} // namespace velk::play
