// The two lines velkplay shows under the progress bar while a song with
// lyrics plays: the line being sung with its sung part lit (reverse video),
// and the next line.
#pragma once

#include <cstdint>
#include <string>

#include "lyrics/lyrics.h"

namespace velk::play {

struct KaraokeLines {
    std::string sung;  // with terminal escapes around the lit parts
    std::string next;
};

// The lines at `ms` of the song, without the blanks that centre them in the
// lyric file, each cut to `width` columns (Hangul, kana, Hanja and
// full-width forms take two).
KaraokeLines karaokeLines(const lyrics::Lyrics &lyrics, std::int64_t ms, int width);

// Columns a UTF-8 text takes on a terminal.
int displayWidth(const std::string &utf8);

} // namespace velk::play
