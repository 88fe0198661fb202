#include "lyrics/song_clock.h"

#include <algorithm>
#include <cmath>

namespace velk::lyrics {

std::uint64_t tickAtUnits(const SongClock &clock, std::uint64_t units)
{
    const std::uint64_t unit = std::max(1u, clock.unitsPerTick);
    const auto after = std::upper_bound(clock.events.begin(), clock.events.end(), units,
                                        [](std::uint64_t u, const EventTick &e) { return u < e.units; });
    if (after == clock.events.begin())
        return (units + unit - 1) / unit;
    const EventTick &at = *(after - 1);
    const std::uint64_t tick = at.tick + (units - at.units + unit - 1) / unit;
    return after == clock.events.end() ? tick : std::min(tick, after->tick);
}

double msAtTick(const SongClock &clock, std::uint64_t tick)
{
    if (clock.tickMs.empty())
        return static_cast<double>(tick) * clock.msPerTickAfter;
    if (tick < clock.tickMs.size())
        return clock.tickMs[tick];
    return clock.tickMs.back() + static_cast<double>(tick - (clock.tickMs.size() - 1)) * clock.msPerTickAfter;
}

std::int64_t msAtUnits(const SongClock &clock, std::uint64_t units)
{
    return static_cast<std::int64_t>(std::floor(msAtTick(clock, tickAtUnits(clock, units))));
}

} // namespace velk::lyrics
