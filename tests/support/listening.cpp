#include "tests/support/listening.h"

#include <cmath>
#include <string>

#include "tests/support/files.h"

namespace velk::test {
namespace {

unsigned u16(const std::vector<std::uint8_t> &b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t u32(const std::vector<std::uint8_t> &b, std::size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

std::size_t frames(const Pcm &pcm) { return pcm.channels ? pcm.data.size() / (pcm.channels * pcm.bits / 8) : 0; }

} // namespace

Pcm readWav(const std::filesystem::path &path)
{
    const std::vector<std::uint8_t> bytes = readFile(path);
    Pcm pcm;
    if (bytes.size() < 44 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF")
        return pcm;
    pcm.channels = static_cast<int>(u16(bytes, 22));
    pcm.sampleRate = static_cast<int>(u32(bytes, 24));
    pcm.bits = static_cast<int>(u16(bytes, 34));
    const std::size_t size = std::min<std::size_t>(u32(bytes, 40), bytes.size() - 44);
    pcm.data.assign(bytes.begin() + 44, bytes.begin() + 44 + static_cast<std::ptrdiff_t>(size));
    return pcm;
}

std::vector<std::int16_t> channelOf(const Pcm &pcm, int channel)
{
    std::vector<std::int16_t> samples;
    const std::size_t count = frames(pcm);
    samples.reserve(count);
    for (std::size_t f = 0; f < count; ++f) {
        const std::size_t at = f * pcm.channels + channel;
        if (pcm.bits == 8)
            samples.push_back(static_cast<std::int16_t>((pcm.data[at] - 128) * 256));
        else
            samples.push_back(static_cast<std::int16_t>(u16(pcm.data, 2 * at)));
    }
    return samples;
}

double rmsOf(const std::vector<std::int16_t> &samples)
{
    double sum = 0;
    for (const std::int16_t s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

testing::AssertionResult onBothSpeakers(const Pcm &stereo, double minRms)
{
    if (stereo.channels != 2)
        return testing::AssertionFailure() << stereo.channels << " channels, not 2";
    const std::vector<std::int16_t> left = channelOf(stereo, 0);
    const std::vector<std::int16_t> right = channelOf(stereo, 1);
    for (std::size_t f = 0; f < left.size(); ++f)
        if (left[f] != right[f])
            return testing::AssertionFailure() << "frame " << f << " of " << left.size() << ": left " << left[f]
                                               << ", right " << right[f] << " (right channel rms " << rmsOf(right)
                                               << ", left " << rmsOf(left) << ")";
    if (!(rmsOf(left) > minRms))
        return testing::AssertionFailure() << "silent: rms " << rmsOf(left) << " in " << left.size() << " frames";
    return testing::AssertionSuccess() << "rms " << rmsOf(left);
}

testing::AssertionResult sameSignal(const Pcm &other, const Pcm &reference)
{
    if (frames(other) != frames(reference))
        return testing::AssertionFailure() << frames(other) << " frames where the reference has "
                                           << frames(reference);
    const std::vector<std::int16_t> expected = channelOf(reference, 0);
    for (int c = 0; c < other.channels; ++c) {
        const std::vector<std::int16_t> got = channelOf(other, c);
        for (std::size_t f = 0; f < got.size(); ++f) {
            // Only the top byte survives in 8-bit.
            const int want = other.bits == 8 ? (expected[f] >> 8) * 256 : expected[f];
            if (got[f] != want)
                return testing::AssertionFailure()
                       << "channel " << c << ", frame " << f << ": " << got[f] << " where the reference gives "
                       << want << " (rms " << rmsOf(got) << " against " << rmsOf(expected) << ")";
        }
    }
    return testing::AssertionSuccess();
}

} // namespace velk::test
