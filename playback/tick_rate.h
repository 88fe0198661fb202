// The tick rate that timing is computed with. Players report their rate as a
// float, and a rate of 0, a negative one or one that is not a number would
// reach a division or never let time advance; one far too high would
// overflow the frame-exact tick balance. Such rates are brought into a range
// that every real song lies in.
#pragma once

namespace velk {

// Slowest tick rate used: a player that reports 0, a negative rate or no
// number at all ticks once in four seconds, so it keeps moving and stays
// stoppable. It is the slowest rate at which the frame balance advances: a
// 4-frame chunk must take at least one whole unit off a balance of 0, or
// truncation would keep it at 0 for ever. The ROL engine holds its rate to
// the same floor, so a slow song's ticks fall where its measured length says.
constexpr float minTickRateHz = 0.25f;
// Fastest tick rate used: well above any song (they tick at tens to a few
// thousand Hz), small enough for the tick balance to stay within 32 bits,
// and for measuring an endless song to take no more than 12 million ticks.
constexpr float maxTickRateHz = 20000.0f;

inline float boundedTickRate(float reportedHz)
{
    if (!(reportedHz >= minTickRateHz))  // also NaN
        return minTickRateHz;
    if (reportedHz > maxTickRateHz)  // also +infinity
        return maxTickRateHz;
    return reportedHz;
}

} // namespace velk
