// A song's twin: the same song from its start on a chip of its own, unheard,
// for work done beside the song (its loudness, its seek index).
#pragma once

#include "libvelk/song_handle.h"

namespace velk::lib {

// What the twin takes of the listener's controls besides tempo and key.
enum class TwinControls {
    settingsOnly,  // the state a render from the start gives (snapshots)
    all,           // muting and gains too (what the listener hears)
};

// Fills the fresh handle `twin`. Throws std::bad_alloc, or EmulatorBusy for
// a second chip of Ken's emulator.
void makeTwin(const velk_song &song, velk_song &twin, TwinControls controls);

} // namespace velk::lib
