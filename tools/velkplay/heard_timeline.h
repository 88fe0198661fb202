// Which moment of the song the listener hears. The render thread runs up to
// a second ahead of the sound card, and at another tempo than 1 a
// millisecond of output is not a millisecond of the song; so after each
// block it writes, it stamps the output time the block ends at with the
// song time and the voices there, and the player looks up the stamp of the
// output time being heard, as the karaoke line is timed.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "libvelk/velk.h"

namespace velk::play {

struct TimelineStamp {
    int outputMs = 0;         // the output module's clock
    std::int64_t songMs = 0;  // song time at that output time
    int voiceCount = 0;
    velk_voice_state voices[VELK_MAX_VOICES] = {};  // as they are from songMs on
};

class HeardTimeline {
public:
    // Forgets every stamp and starts from this one (an open, a seek, a flush).
    void restart(const TimelineStamp &stamp);
    // A later stamp (its output time at or after the last one's).
    void add(const TimelineStamp &stamp);
    // The song time at output time `outputMs` (between stamps, in
    // proportion), with the voices of the last stamp at or before it. Stamps
    // before that one are dropped: the output's clock only moves on.
    TimelineStamp heardAt(int outputMs);
    void clear();

private:
    std::mutex lock_;
    std::deque<TimelineStamp> stamps_;
};

} // namespace velk::play
