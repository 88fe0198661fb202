// A song's lyrics, as the library gives them, as an enhanced LRC file.
#pragma once

#include <optional>
#include <string>

#include "libvelk/velk.h"
#include "lyrics/lyrics.h"

namespace velk::render {

// The song's lyrics rebuilt from the library's lyric functions; nothing when
// it has none.
std::optional<lyrics::Lyrics> lyricsOf(const velk_song *song);

// The LRC text of the song's lyrics, titled with its title; nothing when it
// has none. Its times are those of a render at `tempo` (velk_set_tempo):
// the library's are song time.
std::optional<std::string> lrcOf(const velk_song *song, double tempo = 1.0);

// The LRC file that goes with a render at `audioPath`: its extension (if
// any) replaced by .lrc.
std::string lrcPathFor(const std::string &audioPath);

} // namespace velk::render
