// The line velkplay keeps up to date under the song's title: the state, the
// time heard, a bar of the song's length, and the length.
#pragma once

#include <string>

namespace velk::play {

// "m:ss" (minutes as many digits as they need); negative times show as 0:00.
std::string clockText(int ms);

// "playing  1:23 [######..............]  3:40" (or "paused "), the bar
// stretched or shrunk so the line is `width` columns wide (at least a bar of
// 10). A position past the length fills the bar.
std::string statusLine(bool paused, int positionMs, int lengthMs, int width);

} // namespace velk::play
