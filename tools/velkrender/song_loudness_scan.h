// velkrender's loudness of songs, as ReplayGain 2.0 reckons it (libebur128,
// as loudgain scans files): each song rendered once, unheard, as its output
// will be, and the album of a batch over all of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "tools/velkrender/render_loop.h"

namespace velk::render {

struct Loudness {
    double lufs = 0.0;        // integrated; -inf when silent
    double samplePeak = 0.0;  // 1.0 = full scale
    double truePeak = 0.0;
    double gainDb = 0.0;      // to VELK_REFERENCE_LUFS (0 when silent)
};

struct SongLoudness {
    Loudness track;
    int largestSample = 0;  // |sample| in 16-bit steps
    std::shared_ptr<void> meter;  // libebur128's state, kept for the album
};

// Renders the rest of `song` (its controls set) to its end, measuring;
// false with `error` when it stops rendering.
bool scanSong(velk_song *song, SongLoudness &out, const Progress &progress, std::string &error);

// The album's figures over these songs, all of the same rate and channels.
Loudness albumLoudness(const std::vector<const SongLoudness *> &songs);

// ReplayGain's tag texts: "-2.64 dB", "0.787210", "-18.00 LUFS".
std::string gainText(double db);
std::string peakText(double peak);
std::string referenceText();

} // namespace velk::render
