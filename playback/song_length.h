// The length of a song, measured by running it once on a silent chip.
#pragma once

#include <vector>

class CPlayer;

namespace velk {

// Measuring stops at the first tick that reaches this much song time.
constexpr float songLengthLimitMs = 600000.0f;

// What CPlayer::songlength measures: rewinds to `subsong`, steps the player
// until it reports the end or the first tick that reaches the limit, on a
// silent chip lent to it, then rewinds again. Unlike songlength it stays
// bounded whatever rate the player reports (see boundedTickRate).
unsigned long measureSongLength(CPlayer &player, int subsong);

// The same run, keeping the song time each tick is played at, as the render
// loop adds it up: element i for tick i (0 for the first), the last one for
// the tick that ends the song (callers reaching past it extend by the last
// step).
std::vector<float> measureTickTimes(CPlayer &player, int subsong);

} // namespace velk
