#include "tools/velkplay/heard_timeline.h"

namespace velk::play {

void HeardTimeline::restart(const TimelineStamp &stamp)
{
    std::lock_guard<std::mutex> guard(lock_);
    stamps_.clear();
    stamps_.push_back(stamp);
}

void HeardTimeline::add(const TimelineStamp &stamp)
{
    std::lock_guard<std::mutex> guard(lock_);
    stamps_.push_back(stamp);
}

void HeardTimeline::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    stamps_.clear();
}

TimelineStamp HeardTimeline::heardAt(int outputMs)
{
    std::lock_guard<std::mutex> guard(lock_);
    while (stamps_.size() >= 2 && stamps_[1].outputMs <= outputMs)
        stamps_.pop_front();
    if (stamps_.empty())
        return {};
    TimelineStamp heard = stamps_.front();
    if (stamps_.size() >= 2 && outputMs > heard.outputMs) {
        const TimelineStamp &next = stamps_[1];
        heard.songMs += (next.songMs - heard.songMs) * (outputMs - heard.outputMs) / (next.outputMs - heard.outputMs);
    }
    return heard;
}

} // namespace velk::play
