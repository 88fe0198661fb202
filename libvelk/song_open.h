// Opening a song into a handle: recognising IMS or ROL by content, choosing
// the bank, loading the player and measuring the length.
#pragma once

#include "common/bytes.h"
#include "libvelk/velk.h"

struct velk_song;

namespace velk::lib {

// The options as the caller's struct gives them: only the members its size
// covers are read, the rest keep their defaults. False (with `error`) when
// its size is too small or a value is out of range.
bool resolveOptions(const velk_options *given, velk_options &resolved, const char *&error);

// Opens `song` (its bytes) into `handle`, with `bank` (bytes, or null to find
// one from options.bank_path or handle.location). On failure sets the
// handle's error and returns it; on success the handle plays from the start.
// Throws std::bad_alloc and EmulatorBusy.
velk_error openSong(velk_song &handle, const Bytes &song, const Bytes *bank, const velk_options &options);

} // namespace velk::lib
