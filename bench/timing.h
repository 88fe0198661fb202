// Timing helpers shared by the benchmarks: each prints figures of one run.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace velk::bench {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    double median, best;
};

// Runs `work` `rounds` times; the median and the best of the times in ms.
template <typename Work>
Figures measure(int rounds, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(milliseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

} // namespace velk::bench
