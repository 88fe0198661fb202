// When a point of an IMS song, counted in its delay units, is heard: the
// tick the ROL engine plays it at, and the song time that tick starts at.
//
// The conversion gives each event a tick by adding up the delays before it,
// each cut to whole ticks of `unitsPerTick` units (the song's smallest
// delay), so units and ticks drift apart over a song: the clock keeps the
// (units, tick) of every event rather than dividing. The engine then plays a
// tick and lasts 1000 / rate ms after it, at the rate it reports once the
// tick (and any tempo event on it) is played; `tickMs` holds those sums as
// the player adds them.
#pragma once

#include <cstdint>
#include <vector>

namespace velk::lyrics {

struct EventTick {
    std::uint64_t units = 0;
    std::uint64_t tick = 0;
};

struct SongClock {
    unsigned unitsPerTick = 1;
    std::vector<EventTick> events;  // every event's start; units and ticks never decrease
    std::vector<double> tickMs;     // tickMs[i]: the song time tick i is played at; tickMs[0] = 0
    double msPerTickAfter = 0;      // for ticks past the table (the song's last rate)
};

// The tick at which the song reaches `units`. A point between two ticks (a
// delay that is not a whole number of ticks) lands on the tick at or after
// it, never past the next event's tick.
std::uint64_t tickAtUnits(const SongClock &clock, std::uint64_t units);

double msAtTick(const SongClock &clock, std::uint64_t tick);

// The song time as the player counts it, in whole ms (cut, as the player's
// position is): a highlight shows once the position reaches it.
std::int64_t msAtUnits(const SongClock &clock, std::uint64_t units);

} // namespace velk::lyrics
