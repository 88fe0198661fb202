// The score of a song: the notes its engine plays, its tempo map and pitch
// events, on the same tick-sum clock as positions and lyrics.
#pragma once

#include "libvelk/song_handle.h"

namespace velk::lib {

// Plays a copy of the song's player through on a silent chip and lists what
// it keys. The song's own player and chip are left as they are.
Score scoreOf(const velk_song &song);

// The song's score, worked out at the first ask (a pass through the song as
// long as measuring its length); an empty one when memory runs out.
const Score &songScore(const velk_song &song) noexcept;

// The voice count velk.h gives (9, or 11 for a percussive song).
int voiceCountOf(const velk_song &song);

// The instrument's name the engine knows by its index; "" for none.
const char *instrumentName(const velk_song &song, int instrument);

} // namespace velk::lib
