#include "tools/velkrender/song_loudness_scan.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velk::render {
namespace {

// As renderToFile cuts songs.
constexpr std::uint64_t maxSongSeconds = 36000;
constexpr std::size_t blockFrames = 4096;

double gainFor(double lufs) { return std::isfinite(lufs) ? VELK_REFERENCE_LUFS - lufs : 0.0; }

std::string printed(const char *format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

bool scanSong(velk_song *song, SongLoudness &out, const Progress &progress, std::string &error)
{
    const int channels = velk_channels(song);
    const int rate = velk_sample_rate(song);
    ebur128_state *state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                                        EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK |
                                            EBUR128_MODE_HISTOGRAM);
    if (!state) {
        error = "out of memory for the loudness meter";
        return false;
    }
    out.meter.reset(state, [](void *meter) {
        auto *s = static_cast<ebur128_state *>(meter);
        ebur128_destroy(&s);
    });
    std::vector<std::int16_t> block(blockFrames * static_cast<std::size_t>(channels));
    const std::uint64_t limit = maxSongSeconds * static_cast<std::uint64_t>(rate);
    std::uint64_t rendered = 0;
    while (rendered < limit) {
        const long frames =
            velk_render(song, block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(blockFrames, limit - rendered)));
        if (frames < 0) {
            error = std::string("the song stopped rendering: ") + velk_error_message(song);
            return false;
        }
        if (frames == 0)
            break;
        const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels);
        for (std::size_t i = 0; i < samples; ++i)
            out.largestSample = std::max(out.largestSample, std::abs(static_cast<int>(block[i])));
        ebur128_add_frames_short(state, block.data(), static_cast<std::size_t>(frames));
        rendered += static_cast<std::uint64_t>(frames);
        if (progress)
            progress(rendered);
    }
    Loudness &t = out.track;
    ebur128_loudness_global(state, &t.lufs);
    for (unsigned c = 0; c < static_cast<unsigned>(channels); ++c) {
        double peak = 0.0;
        ebur128_sample_peak(state, c, &peak);
        t.samplePeak = std::max(t.samplePeak, peak);
        ebur128_true_peak(state, c, &peak);
        t.truePeak = std::max(t.truePeak, peak);
    }
    t.gainDb = gainFor(t.lufs);
    return true;
}

Loudness albumLoudness(const std::vector<const SongLoudness *> &songs)
{
    Loudness album;
    std::vector<ebur128_state *> meters;
    for (const SongLoudness *song : songs) {
        meters.push_back(static_cast<ebur128_state *>(song->meter.get()));
        album.samplePeak = std::max(album.samplePeak, song->track.samplePeak);
        album.truePeak = std::max(album.truePeak, song->track.truePeak);
    }
    album.lufs = -HUGE_VAL;
    if (!meters.empty())
        ebur128_loudness_global_multiple(meters.data(), meters.size(), &album.lufs);
    album.gainDb = gainFor(album.lufs);
    return album;
}

std::string gainText(double db) { return printed("%.2f dB", db); }

std::string peakText(double peak) { return printed("%.6f", peak); }

std::string referenceText() { return printed("%.2f LUFS", VELK_REFERENCE_LUFS); }

} // namespace velk::render
