// A song's lyrics as a player shows them: the credits and lines in UTF-8,
// and the highlights in playing order with their ranges in UTF-8 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lyrics/iss_file.h"

namespace velk::lyrics {

struct Highlight {
    std::uint64_t songUnits = 0;  // the song's delay units (240 a beat) from its start
    std::int64_t ms = 0;          // the song time the player reaches it at (see song_clock.h)
    int line = 0;
    std::size_t first = 0;  // bytes [first, end) of the UTF-8 line, on character boundaries
    std::size_t end = 0;
};

struct Lyrics {
    std::array<std::string, issCreditCount> credits;
    std::vector<std::string> lines;
    std::vector<Highlight> highlights;  // by time; records of equal time keep the file's order
};

struct LyricsReading {
    std::optional<Lyrics> lyrics;
    std::string problem;  // why the bytes are no lyric file
};

// Decodes a lyric file read whole. Ranges reaching past a line's text end
// at its end (an empty line lit is an empty range). Times are in song units
// only: `ms` is 0 until timeHighlights gives it.
Lyrics decodeLyrics(const IssFile &file);
LyricsReading readLyrics(const std::uint8_t *data, std::size_t size);

// The text of every line, in order, without the blanks that centre it,
// joined by newlines: the lyrics as one text, for tags and search.
std::string wholeText(const Lyrics &lyrics);

} // namespace velk::lyrics
