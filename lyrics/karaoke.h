// What a karaoke display shows at a moment of the song: the line being sung
// with the parts lit so far, and the line that comes next.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "lyrics/lyrics.h"

namespace velk::lyrics {

struct KaraokeView {
    int line = -1;      // the line being sung; -1 before the first highlight
    // Lit byte ranges of that line, in order of offset, merged where they touch.
    std::vector<std::pair<std::size_t, std::size_t>> lit;
    int nextLine = -1;  // the next other line to be lit; -1 when none follows
};

// The view at `ms` of the song over highlights in playing order. The current
// line is that of the last highlight reached; only the highlights of its
// current run (since the song came to it) count as lit.
KaraokeView karaokeAt(const std::vector<Highlight> &highlights, std::int64_t ms);

} // namespace velk::lyrics
