#include "tests/libvelk/seek_truth.h"

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <random>

namespace velk::test {
namespace {

std::vector<std::int16_t> render(velk_song *song, std::size_t frames)
{
    std::vector<std::int16_t> pcm;
    pcm.reserve(frames);
    std::int16_t block[4096];
    while (pcm.size() < frames) {
        const long n = velk_render(song, block, std::min<std::size_t>(4096, frames - pcm.size()));
        if (n <= 0)
            break;
        pcm.insert(pcm.end(), block, block + n);
    }
    return pcm;
}

double dbfs(const std::int16_t *samples, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    const double rms = count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
    return 20.0 * std::log10(std::max(rms, 1e-3) / 32768.0);
}

struct Closer {
    velk_song *song;
    ~Closer() { velk_close(song); }
};

// The first frame from which `heard` is `reference` sample for sample, near
// `around`; -1 when there is none.
long exactOffset(const std::vector<std::int16_t> &reference, std::size_t around, const std::vector<std::int16_t> &heard,
                 long reach)
{
    for (long d = -reach; d <= reach; ++d) {
        const long from = static_cast<long>(around) + d;
        if (from < 0 || static_cast<std::size_t>(from) + heard.size() > reference.size())
            continue;
        if (std::equal(heard.begin(), heard.end(), reference.begin() + from))
            return from;
    }
    return -1;
}

} // namespace

TruthReport checkSeeks(const std::string &name, const SongOpener &open, velk_emulator emulator,
                       std::vector<std::int64_t> targets, const TruthOptions &options)
{
    TruthReport report;
    report.song = name;
    report.emulator = emulator;
    report.targets = static_cast<int>(targets.size());
    const int windows = static_cast<int>(options.spanMs / options.windowMs);
    report.worstDbOfWindow.assign(static_cast<std::size_t>(windows), 0.0);
    velk_options o;
    velk_options_init(&o);
    o.sample_rate = options.rate;
    o.channels = 1;
    o.emulator = emulator;
    const auto frameAt = [&](double ms) { return static_cast<std::size_t>(std::llround(ms * options.rate / 1000.0)); };
    const std::size_t windowFrames = frameAt(options.windowMs);

    // Which voices have notes, and how far the references must reach.
    std::uint32_t playing = 0;
    std::int64_t reach = 0;
    {
        std::string error;
        Closer probe{open(o, error)};
        if (!probe.song) {
            report.failedWindows = 1;
            report.firstFailure = name + ": " + error;
            return report;
        }
        report.voices = velk_voice_count(probe.song);
        for (std::size_t i = 0; i < velk_note_count(probe.song); ++i) {
            velk_note note;
            if (velk_note_at(probe.song, i, &note) == VELK_OK)
                playing |= 1u << note.voice;
        }
        for (std::int64_t &t : targets)
            t = std::clamp<std::int64_t>(t, 0, velk_length_ms(probe.song));
        for (std::int64_t t : targets)
            reach = std::max(reach, t);
    }
    // Seeks in an order of their own, so that some go back (the song starts
    // again) and some forward.
    std::shuffle(targets.begin(), targets.end(), std::mt19937(static_cast<std::uint32_t>(targets.size() * 7919u)));
    const std::size_t referenceFrames = frameAt(static_cast<double>(reach) + options.spanMs + 1000.0);

    for (int index = -1; index < report.voices; ++index) {
        const int slot = index < 0 ? mixIndex : index;
        if (index >= 0 && !(playing >> index & 1u))
            continue;
        const std::uint32_t mask = index < 0 ? 0u : ~(1u << index) & ((1u << report.voices) - 1u);
        std::string error;
        std::vector<std::int16_t> reference;
        {
            // One handle at a time: Ken's emulator plays one song per process.
            Closer whole{open(o, error)};
            if (!whole.song)
                return report;
            velk_set_muted_voices(whole.song, mask);
            reference = render(whole.song, referenceFrames);
        }
        Closer seeking{open(o, error)};
        if (!seeking.song)
            return report;
        velk_seek_index *built = nullptr;
        if (options.indexed && velk_seek_index_new(seeking.song, &built) == VELK_OK) {
            velk_seek_index_build(built, 0);
            velk_seek_index_free(built);
            report.indexed = true;
        }
        velk_set_muted_voices(seeking.song, mask);
        for (std::int64_t target : targets) {
            const bool claimed = velk_seek_is_exact(seeking.song, target) == 1;
            // Processor time: the machine may be shared.
            const std::clock_t began = std::clock();
            velk_seek_ms(seeking.song, target);
            if (index < 0)
                report.seekMs.push_back(1000.0 * static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC);
            // The seek lands on the first tick at or after the target.
            const std::int64_t at = velk_position_ms(seeking.song);
            std::size_t from = frameAt(static_cast<double>(at));
            const std::vector<std::int16_t> heard = render(seeking.song, frameAt(options.spanMs));
            report.unclaimed += !claimed;
            const bool mustBeExact =
                options.requireExact && (!report.indexed || mask == 0 || emulator == VELK_EMULATOR_NUKED);
            if (mustBeExact && !claimed) {
                ++report.missingClaims;
                if (report.firstFailure.empty())
                    report.firstFailure = "not called exact at " + std::to_string(target) + " ms";
            }
            if (claimed) {
                ++report.exactClaims;
                const long exact = exactOffset(reference, from, heard, options.rate / 500 + 2);
                if (exact < 0) {
                    ++report.inexact;
                    if (report.firstFailure.empty())
                        report.firstFailure = "not exact at " + std::to_string(target) + " ms";
                } else {
                    from = static_cast<std::size_t>(exact);
                }
            }
            bool silenced = false;
            for (int w = 0; w < windows; ++w) {
                const std::size_t a = static_cast<std::size_t>(w) * windowFrames;
                if (a + windowFrames > heard.size() || from + a + windowFrames > reference.size())
                    break;  // the song ends within the span
                const double want = dbfs(reference.data() + from + a, windowFrames);
                const double got = dbfs(heard.data() + a, windowFrames);
                double difference = 0.0;
                bool bad = false;
                if (want >= options.floorDb) {
                    difference = got - want;
                    bad = std::fabs(difference) > options.toleranceDb;
                    silenced |= difference < -options.silencedDb;
                } else if (got > options.floorDb + options.silentMarginDb) {
                    difference = got - options.floorDb;
                    bad = true;
                } else {
                    continue;
                }
                ++report.comparedWindows;
                if (std::fabs(difference) > std::fabs(report.worstDb[slot])) {
                    report.worstDb[slot] = difference;
                    report.worstTarget[slot] = target;
                    report.worstWindow[slot] = w;
                }
                double &ofWindow = report.worstDbOfWindow[static_cast<std::size_t>(w)];
                if (std::fabs(difference) > std::fabs(ofWindow))
                    ofWindow = difference;
                if (bad) {
                    ++report.failedWindows;
                    if (report.firstFailure.empty()) {
                        char text[160];
                        std::snprintf(text, sizeof text, "%s at %lld ms, window %d: %+.2f dB (whole render %.1f dBFS)",
                                      index < 0 ? "mix" : velk_voice_name(seeking.song, index),
                                      static_cast<long long>(target), w, difference, want);
                        report.firstFailure = text;
                    }
                }
            }
            report.silencedVoices += silenced && index >= 0;
        }
    }
    return report;
}

SongOpener memoryOpener(const SongBytes &bytes)
{
    return [bytes](const velk_options &o, std::string &error) -> velk_song * {
        velk_song *song = nullptr;
        if (velk_open_memory(bytes.ims.data(), bytes.ims.size(), bytes.bank.data(), bytes.bank.size(), &o, &song) !=
            VELK_OK) {
            error = song ? velk_error_message(song) : "out of memory";
            velk_close(song);
            return nullptr;
        }
        return song;
    };
}

SongOpener fileOpener(const std::string &path)
{
    return [path](const velk_options &o, std::string &error) -> velk_song * {
        velk_song *song = nullptr;
        if (velk_open_file(path.c_str(), &o, &song) != VELK_OK) {
            error = song ? velk_error_message(song) : "out of memory";
            velk_close(song);
            return nullptr;
        }
        return song;
    };
}

std::vector<std::int64_t> targetsOf(const SongOpener &open, std::uint32_t seed, int count,
                                    const std::vector<std::int64_t> &given)
{
    velk_options o;
    velk_options_init(&o);
    o.emulator = VELK_EMULATOR_SATOH;  // any: only the score is read
    std::string error;
    velk_song *song = open(o, error);
    if (!song)
        return given;
    std::vector<std::int64_t> targets = chooseTargets(song, seed, count);
    velk_close(song);
    targets.insert(targets.end(), given.begin(), given.end());
    return targets;
}

std::vector<std::int64_t> chooseTargets(velk_song *song, std::uint32_t seed, int count)
{
    std::mt19937 rng(seed);
    const std::int64_t length = velk_length_ms(song);
    std::vector<std::int64_t> candidates;
    std::vector<std::int64_t> lastEnd(VELK_MAX_VOICES, -1);
    for (std::size_t i = 0; i < velk_note_count(song); ++i) {
        velk_note n;
        if (velk_note_at(song, i, &n) != VELK_OK)
            continue;
        const std::int64_t held = n.end_ms - n.start_ms;
        if (held > 5000)  // deep inside a long note
            candidates.push_back(n.start_ms + held * std::uniform_int_distribution<int>(2, 9)(rng) / 10);
        if (n.start_ms == lastEnd[static_cast<std::size_t>(n.voice)] && held > 0)  // within a legato chain
            candidates.push_back(n.start_ms + held / 2);
        if (lastEnd[static_cast<std::size_t>(n.voice)] >= 0 && n.start_ms - lastEnd[static_cast<std::size_t>(n.voice)] > 30000)
            candidates.push_back(n.start_ms - std::uniform_int_distribution<int>(0, 3000)(rng));  // after a silence
        lastEnd[static_cast<std::size_t>(n.voice)] = n.end_ms;
    }
    std::shuffle(candidates.begin(), candidates.end(), rng);
    std::vector<std::int64_t> targets;
    targets.push_back(std::max<std::int64_t>(0, length - std::uniform_int_distribution<int>(500, 4000)(rng)));
    for (std::size_t i = 0; i < candidates.size() && static_cast<int>(targets.size()) < count - 1; ++i)
        targets.push_back(candidates[i]);
    while (static_cast<int>(targets.size()) < count && length > 0)
        targets.push_back(std::uniform_int_distribution<std::int64_t>(0, length)(rng));
    return targets;
}

std::string describe(const TruthReport &r)
{
    char text[160];
    std::snprintf(text, sizeof text, "%-24s %-5s %2d targets:", r.song.c_str(), velk_emulator_name(r.emulator), r.targets);
    std::string line = text;
    for (int v = 0; v < r.voices; ++v) {
        std::snprintf(text, sizeof text, " %+6.2f", r.worstDb[v]);
        line += text;
    }
    std::snprintf(text, sizeof text, " | mix %+6.2f | %d/%d windows off, %d left silent, seek median %.1f ms, worst %.1f ms",
                  r.worstDb[mixIndex], r.failedWindows, r.comparedWindows, r.silencedVoices, medianOf(r.seekMs),
                  r.seekMs.empty() ? 0.0 : *std::max_element(r.seekMs.begin(), r.seekMs.end()));
    line += text;
    std::snprintf(text, sizeof text, ", %d of %d seeks exact%s", r.exactClaims - r.inexact,
                  r.exactClaims + r.unclaimed, r.indexed ? " (indexed)" : "");
    line += text;
    return line;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace velk::test
