// A song's loudness as BS.1770 measures it (libebur128): worked out on an
// unheard twin of the song, under the listener's controls of the moment,
// and kept in the handle until they change.
#pragma once

#include "libvelk/velk.h"

struct velk_song;

namespace velk::lib {

// Whether this build measures loudness at all (the web build has no
// libebur128).
bool measuresLoudness();

// The song's loudness under its current controls: the kept figures when
// they were measured under the same, else a whole render of a twin (the
// song's position does not move). Throws std::bad_alloc, EmulatorBusy (a
// Ken song, whose one chip is the song's own) and std::runtime_error.
velk_loudness songLoudness(velk_song &song);

} // namespace velk::lib
