// Rendered audio judged as a listener hears it: both speakers, the level,
// the sample format. A song for one OPL2 chip sounds the same on both
// speakers; mono is that signal at the same level; 8-bit is its top byte,
// unsigned.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

namespace velk::test {

struct Pcm {
    int sampleRate = 0;
    int channels = 0;
    int bits = 0;
    std::vector<std::uint8_t> data;  // interleaved, as in the file
};

// A WAV file's format and data chunk; channels is 0 when it is not one.
Pcm readWav(const std::filesystem::path &path);

// One channel as signed 16-bit values (8-bit samples moved to the top byte).
std::vector<std::int16_t> channelOf(const Pcm &pcm, int channel);
double rmsOf(const std::vector<std::int16_t> &samples);

// Stereo whose two channels are sample for sample the same and not silent
// (a root mean square above `minRms` in 16-bit units).
testing::AssertionResult onBothSpeakers(const Pcm &stereo, double minRms = 300.0);
// `other` carries the first channel of `reference` at the same level,
// whatever the channel counts and sample widths (8-bit: the top byte of the
// 16-bit sample, unsigned, centred on 128).
testing::AssertionResult sameSignal(const Pcm &other, const Pcm &reference);

} // namespace velk::test
