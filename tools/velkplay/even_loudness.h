// "Even loudness": each song played at ReplayGain 2.0's -18 LUFS, from the
// library's measure of it on a second handle (on a thread of its own, so the
// song starts at once and is evened out once the figure is in), never
// raised past the point where its peaks would clip.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "libvelk/velk.h"

namespace velk::play {

// The gain in dB that evens out a song so measured.
double evenGainDb(const velk_loudness &loudness);

// Multiplies a block of interleaved samples by a gain going from `fromDb`
// to `toDb` across it (so that a change is no click), held to 16 bits.
void applyGain(std::int16_t *samples, std::size_t count, double fromDb, double toDb);

// A song's loudness being measured. Dropping it lets the measure run to its
// end unseen (a song is measured in one piece).
class LoudnessMeasure {
public:
    // Opens `path` again with `options` and the controls the song plays
    // with, and measures it on a thread of its own.
    LoudnessMeasure(const std::string &path, const velk_options &options, double tempo, int transpose);
    ~LoudnessMeasure();
    LoudnessMeasure(const LoudnessMeasure &) = delete;
    LoudnessMeasure &operator=(const LoudnessMeasure &) = delete;

    // The gain once the measure is in; none while it runs or when it failed.
    std::optional<double> gainDb() const;
    // Why it failed ("" while it runs or when it worked).
    std::string failure() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace velk::play
