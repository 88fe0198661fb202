#include "tools/velkplay/status_line.h"

#include <algorithm>
#include <cstdint>

namespace velk::play {

std::string clockText(int ms)
{
    const int seconds = std::max(ms, 0) / 1000;
    std::string text = std::to_string(seconds / 60) + ":";
    text += static_cast<char>('0' + seconds % 60 / 10);
    text += static_cast<char>('0' + seconds % 10);
    return text;
}

std::string statusLine(bool paused, int positionMs, int lengthMs, int width)
{
    constexpr int shortestBar = 10;
    auto padded = [](std::string text) { return std::string(text.size() < 5 ? 5 - text.size() : 0, ' ') + text; };
    const std::string head = std::string(paused ? "paused " : "playing") + " " + padded(clockText(positionMs)) + " [";
    const std::string tail = "] " + padded(clockText(lengthMs));
    const int bar = std::max(shortestBar, width - static_cast<int>(head.size() + tail.size()));
    const std::int64_t filled =
        lengthMs > 0 ? std::clamp<std::int64_t>(std::int64_t{std::max(positionMs, 0)} * bar / lengthMs, 0, bar) : 0;
    return head + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(bar - filled), '.') + tail;
}

} // namespace velk::play
