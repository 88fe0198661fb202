// A song's lyrics for velkplay, whatever plays the song: the library opens
// the song just to read them (its lyric file beside it), timed as the
// library's clock reckons song time, which the plug-in's output time follows.
#pragma once

#include <optional>
#include <string>

#include "lyrics/lyrics.h"

namespace velk::play {

// The song's lyrics, or nothing when it has none. `problem` says why a lyric
// file beside it was ignored ("" when none was).
std::optional<lyrics::Lyrics> songLyrics(const std::string &song, std::string &problem);

} // namespace velk::play
