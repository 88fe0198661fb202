// libvelk's costs, from one run: opening a song and its length; its score; a
// whole song rendered into memory through the library against the chip
// alone replaying the register writes the engine makes for it (the
// library's own share: conversion, the engine, the guard around the shared
// emulators); seeks back into a song played to its end, with each emulator; the cost of every voice's state; and each emulator's whole song
// against satoh's; exact seeks in a 5-minute song (go-_-go played twice
// over) before and after its seek index, the index's cost against a whole
// render and its memory, and playback with snapshots against without.
//
// usage: libvelk_bench [SONG [exact]]   (default: the shared go-_-go.ims;
// "exact": only the exact seeks and snapshots)
#include <emuopl.h>
#include <fprovide.h>
#include <nemuopl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/register_replay.h"
#include "bench/timing.h"
#include "converter/conversion.h"
#include "common/whole_file.h"
#include "libvelk/velk.h"
#include "rol/bank_choice.h"
#include "rol/opl2_chip.h"
#include "rol/rol_player.h"
#include "rol/rol_writer.h"
#include "tools/velkrender/render_loop.h"

#include <binstr.h>

namespace {

using velk::bench::Clock;
using velk::bench::measure;
using velk::bench::milliseconds;

velk_song *openSong(const std::string &path, velk_emulator emulator)
{
    velk_options options;
    velk_options_init(&options);
    options.emulator = emulator;
    velk_song *song = nullptr;
    if (velk_open_file(path.c_str(), &options, &song) != VELK_OK) {
        std::fprintf(stderr, "libvelk_bench: %s: %s\n", path.c_str(), velk_error_message(song));
        std::exit(1);
    }
    return song;
}

// The whole song into `pcm` (16-bit stereo); the frames.
std::size_t renderWhole(velk_song *song, std::vector<std::int16_t> &pcm)
{
    std::size_t frames = 0;
    long got;
    while (frames + 4096 <= pcm.size() / 2 && (got = velk_render(song, pcm.data() + 2 * frames, 4096)) > 0)
        frames += static_cast<std::size_t>(got);
    return frames;
}

// The song's register writes at their frames, from the engine, and the chip
// replaying them alone.
std::vector<velk::bench::TimedWrite> writesOf(const std::string &path, Copl &chip, std::uint64_t &frames)
{
    velk::Bytes ims;
    velk::readWholeFile(path, ims);
    const velk::converter::ConversionResult converted = velk::converter::convertImsToRol(ims);
    binisstream rol(const_cast<std::uint8_t *>(converted.rol.data()), converted.rol.size());
    rol.setFlag(binio::BigEndian, false);
    rol.setFlag(binio::FloatIEEE);
    velk::bench::TapOpl tap(chip);
    velk::RolPlayer player(&tap);
    player.loadSong(rol, velk::chooseBankPath(path), CProvider_Filesystem());
    velk::render::renderSong(player, tap, velk::render::AudioFormat{}, [](const std::uint8_t *, std::size_t) {});
    frames = tap.frame;
    return tap.writes;
}

// The song, converted, played twice over (each voice rests to the end of
// the longest first), with its bank: a song of about 7 minutes.
velk::Bytes twiceOver(const std::string &path)
{
    velk::Bytes ims;
    velk::readWholeFile(path, ims);
    velk::rol::Song song = velk::converter::convertImsToRol(ims).song;
    int end = 0;
    for (const velk::rol::Voice &v : song.voices)
        end = std::max<int>(end, v.timeOfLastNote);
    const auto later = [&](auto events) {
        for (auto &e : events)
            e.time = static_cast<std::int16_t>(e.time + end);
        return events;
    };
    const std::vector<velk::rol::TempoEvent> tempo = later(song.tempo);
    song.tempo.insert(song.tempo.end(), tempo.begin(), tempo.end());
    for (velk::rol::Voice &v : song.voices) {
        if (v.notes.empty())
            continue;
        const auto notes = v.notes;
        if (v.timeOfLastNote < end)
            v.notes.push_back({0, static_cast<std::int16_t>(end - v.timeOfLastNote)});
        v.notes.insert(v.notes.end(), notes.begin(), notes.end());
        v.timeOfLastNote = static_cast<std::int16_t>(end + v.timeOfLastNote);
        const auto timbres = later(v.timbres);
        const auto volumes = later(v.volumes);
        const auto pitches = later(v.pitches);
        v.timbres.insert(v.timbres.end(), timbres.begin(), timbres.end());
        v.volumes.insert(v.volumes.end(), volumes.begin(), volumes.end());
        v.pitches.insert(v.pitches.end(), pitches.begin(), pitches.end());
    }
    return velk::rol::writeSong(song);
}

velk_song *openBytes(const velk::Bytes &rol, const velk::Bytes &bank)
{
    velk_options options;
    velk_options_init(&options);
    velk_song *song = nullptr;
    if (velk_open_memory(rol.data(), rol.size(), bank.data(), bank.size(), &options, &song) != VELK_OK) {
        std::fprintf(stderr, "libvelk_bench: %s\n", velk_error_message(song));
        std::exit(1);
    }
    return song;
}

// The process's CPU time in ms: on a shared machine the work's own cost
// (the figures below use it; a seek or render alone waits no longer).
double cpuNow() { return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }

// Seeks to each target, each timed alone: median and slowest.
std::pair<double, double> timeSeeks(velk_song *song, const std::vector<std::int64_t> &targets)
{
    std::vector<double> ms;
    for (std::int64_t t : targets) {
        const auto start = cpuNow();
        velk_seek_ms(song, t);
        ms.push_back((cpuNow() - start));
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// Exact seeks in a long song with Nuked.
void benchExactSeeks(const std::string &path, std::vector<std::int16_t> &pcm)
{
    velk::Bytes bank;
    std::string bankPath = path.substr(0, path.rfind('.')) + ".bnk";
    if (!velk::readWholeFile(bankPath, bank))
        velk::readWholeFile(velk::chooseBankPath(path), bank);
    const velk::Bytes rol = twiceOver(path);
    velk_song *song = openBytes(rol, bank);
    const std::int64_t length = velk_length_ms(song);
    pcm.resize(std::max(pcm.size(), static_cast<std::size_t>(length / 1000 + 10) * 44100 * 2));
    // Anywhere: every 7.3 s (a little after a whole second), and every
    // other one just before a whole second (the farthest from a snapshot),
    // in a shuffled order.
    std::vector<std::int64_t> targets;
    for (std::int64_t t = 3123; t < length - 1000; t += 7300)
        targets.push_back(targets.size() % 2 ? t : t / 1000 * 1000 + 990);
    for (std::size_t i = 0; i < targets.size(); ++i)
        std::swap(targets[i], targets[(i * 7919) % targets.size()]);
    const auto before = timeSeeks(song, targets);

    std::vector<double> buildMs, wholeMs;
    std::size_t bytes = 0;
    for (int round = 0; round < 3; ++round) {
        velk_song *fresh = openBytes(rol, bank);
        velk_seek_index *index = nullptr;
        auto start = cpuNow();
        velk_seek_index_new(fresh, &index);
        velk_seek_index_build(index, 0);
        buildMs.push_back((cpuNow() - start));
        velk_seek_index_free(index);
        bytes = velk_snapshot_bytes(fresh);
        velk_close(fresh);
        velk_song *whole = openBytes(rol, bank);
        start = cpuNow();
        renderWhole(whole, pcm);
        wholeMs.push_back((cpuNow() - start));
        velk_close(whole);
    }
    velk_seek_index *index = nullptr;
    velk_seek_index_new(song, &index);
    velk_seek_index_build(index, 0);
    velk_seek_index_free(index);
    int exact = 0;
    for (std::int64_t t : targets)
        exact += velk_seek_is_exact(song, t);
    const auto after = timeSeeks(song, targets);
    velk_close(song);
    const auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    const double minutes = static_cast<double>(length) / 60000.0;
    std::printf("exact seeks (CPU time), nuked, a %.1f-minute song (go-_-go twice over), %zu seeks anywhere:\n", minutes,
                targets.size());
    std::printf("  before indexing (rendered on from the song's start or the latest snapshot): median %.1f ms, "
                "slowest %.1f ms\n", before.first, before.second);
    std::printf("  indexed (%d of %zu exact): median %.1f ms, slowest %.1f ms (target: median under 30 ms, slowest "
                "under 60 ms)\n",
                exact, targets.size(), after.first, after.second);
    std::printf("  building the index %.0f ms against a whole render %.0f ms: %.3f (aim: at most 1.05)\n",
                best(buildMs), best(wholeMs), best(buildMs) / best(wholeMs));
    std::printf("  snapshots: %.2f MB, %.0f KB per minute of song (%.1f MB for 10 minutes)\n", bytes / 1048576.0,
                bytes / 1024.0 / minutes, bytes / 1048576.0 / minutes * 10.0);
}

// The whole song played with snapshots taken against without (a tempo
// changed and set back leaves no state a render from the start has, so no
// snapshots are taken), rounds alternating.
void benchSnapshotCost(const std::string &path, std::vector<std::int16_t> &pcm)
{
    for (velk_emulator e : {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH}) {
        std::vector<double> with, without;
        std::size_t bytes = 0;
        for (int round = 0; round < 3; ++round)
            for (int taking = 0; taking < 2; ++taking) {
                velk_song *s = openSong(path, e);
                if (!taking) {
                    velk_set_tempo(s, 1.001);
                    velk_set_tempo(s, 1.0);
                }
                const auto start = cpuNow();
                renderWhole(s, pcm);
                (taking ? with : without).push_back((cpuNow() - start));
                if (taking)
                    bytes = velk_snapshot_bytes(s);
                velk_close(s);
            }
        const auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
        std::printf("playback with snapshots (%zu KB) against without, %s, CPU time: %.0f ms against %.0f ms: %.4f (target: at "
                    "most 1.01)\n",
                    bytes / 1024, velk_emulator_name(e), best(with), best(without), best(with) / best(without));
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string song = argc > 1 ? argv[1] : VELK_BENCH_SONG;
    if (argc > 2 && std::string(argv[2]) == "exact") {
        velk_song *s = openSong(song, VELK_EMULATOR_NUKED);
        std::vector<std::int16_t> pcm(static_cast<std::size_t>(velk_length_ms(s) / 1000 + 10) * 44100 * 2);
        velk_close(s);
        benchExactSeeks(song, pcm);
        benchSnapshotCost(song, pcm);
        return 0;
    }

    // Open and length.
    velk_song *first = openSong(song, VELK_EMULATOR_DEFAULT);
    const std::int64_t lengthMs = velk_length_ms(first);
    velk_close(first);
    const velk::bench::Figures open = measure(20, [&] {
        velk_song *s = openSong(song, VELK_EMULATOR_DEFAULT);
        (void)velk_length_ms(s);
        velk_close(s);
    });
    std::printf("%s, %lld ms\n", song.c_str(), static_cast<long long>(lengthMs));
    std::printf("open and length: median %.2f ms, best %.2f ms (target: under 2 ms)\n", open.median, open.best);
    std::size_t notes = 0;
    const velk::bench::Figures scored = measure(10, [&] {
        velk_song *s = openSong(song, VELK_EMULATOR_DEFAULT);
        notes = velk_note_count(s);
        velk_close(s);
    });
    std::printf("the score at its first ask (%zu notes): median %.2f ms beyond opening\n", notes,
                scored.median - open.median);

    // The whole song through the library against the chip alone, satoh and
    // Nuked, rounds alternating.
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(lengthMs / 1000 + 10) * 44100 * 2);
    std::vector<std::uint8_t> replayPcm(pcm.size() * 2);
    const std::unique_ptr<CEmuopl> satohAlone = velk::makeOpl2Chip(44100, true, true);
    CNemuopl nukedAlone(44100);
    std::uint64_t frames = 0;
    const auto satohWrites = writesOf(song, *satohAlone, frames);
    const auto nukedWrites = writesOf(song, nukedAlone, frames);
    struct Pair {
        const char *name;
        velk_emulator emulator;
        Copl *alone;
        const std::vector<velk::bench::TimedWrite> *writes;
        std::vector<double> library, chip;
    } pairs[] = {{"satoh", VELK_EMULATOR_SATOH, satohAlone.get(), &satohWrites, {}, {}},
                 {"nuked", VELK_EMULATOR_NUKED, &nukedAlone, &nukedWrites, {}, {}}};
    for (int round = 0; round < 3; ++round)
        for (Pair &pair : pairs) {
            auto start = Clock::now();
            velk_song *s = openSong(song, pair.emulator);
            renderWhole(s, pcm);
            velk_close(s);
            pair.library.push_back(milliseconds(Clock::now() - start));
            start = Clock::now();
            velk::bench::replayWrites(*pair.alone, *pair.writes, frames, 4, replayPcm);
            pair.chip.push_back(milliseconds(Clock::now() - start));
        }
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    for (const Pair &pair : pairs)
        std::printf("whole song into memory, %s: library (open, length, render) %.0f ms, the chip alone replaying "
                    "%zu writes %.0f ms: %.3f (target: at most 1.05)\n",
                    pair.name, best(pair.library), pair.writes->size(), best(pair.chip),
                    best(pair.library) / best(pair.chip));

    // Seeks back from the end into a song played there (its snapshots taken
    // on the way; Ken's emulator has none and starts the song again), each
    // timed alone, every 20 s of the song, with each emulator.
    const velk_emulator seekEmulators[] = {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY,
                                           VELK_EMULATOR_KEN};
    std::printf("seeks back from the end of a song played to it (target: well under 100 ms, aim 50 ms with nuked):\n");
    for (velk_emulator e : seekEmulators) {
        velk_song *s = openSong(song, e);
        std::vector<double> seekMs;
        for (std::int64_t t = 20000; t < lengthMs; t += 20000) {
            velk_seek_ms(s, lengthMs);
            const auto start = Clock::now();
            velk_seek_ms(s, t);
            seekMs.push_back(milliseconds(Clock::now() - start));
        }
        velk_close(s);
        std::sort(seekMs.begin(), seekMs.end());
        std::printf("  %-6s %zu seeks: median %.1f ms, slowest %.1f ms\n", velk_emulator_name(e), seekMs.size(),
                    seekMs[seekMs.size() / 2], seekMs.back());
    }

    benchExactSeeks(song, pcm);
    benchSnapshotCost(song, pcm);

    // Every voice's state after each block of 1024 frames, against rendering
    // alone, rounds alternating.
    std::vector<double> plainMs, stateMs;
    for (int round = 0; round < 3; ++round)
        for (int withState = 0; withState < 2; ++withState) {
            velk_song *one = openSong(song, VELK_EMULATOR_NUKED);
            const int voices = velk_voice_count(one);
            double stateTime = 0.0;
            float sum = 0.0f;
            const auto start = Clock::now();
            long got;
            while ((got = velk_render(one, pcm.data(), 1024)) > 0)
                if (withState) {
                    const auto before = Clock::now();
                    for (int v = 0; v < voices; ++v) {
                        velk_voice_state state;
                        velk_voice_state_at(one, v, &state);
                        sum += state.level;
                    }
                    stateTime += milliseconds(Clock::now() - before);
                }
            const double total = milliseconds(Clock::now() - start);
            velk_close(one);
            (withState ? stateMs : plainMs).push_back(withState ? stateTime : total);
            if (sum < 0.0f)
                std::printf("impossible\n");
        }
    std::printf("voice state of every voice after each 1024 frames, nuked: %.2f ms against %.0f ms of rendering: "
                "%.2f%% (target: at most 2%%)\n",
                best(stateMs), best(plainMs), 100.0 * best(stateMs) / best(plainMs));

    // Each emulator, the whole song into memory.
    const velk_emulator emulators[] = {VELK_EMULATOR_SATOH, VELK_EMULATOR_NUKED, VELK_EMULATOR_WOODY,
                                       VELK_EMULATOR_KEN};
    std::vector<double> emulatorMs[4];
    for (int round = 0; round < 3; ++round)
        for (int e = 0; e < 4; ++e) {
            const auto start = Clock::now();
            velk_song *one = openSong(song, emulators[e]);
            renderWhole(one, pcm);
            velk_close(one);
            emulatorMs[e].push_back(milliseconds(Clock::now() - start));
        }
    std::printf("each emulator, the whole song into memory, best of 3 (ratio to satoh):\n");
    for (int e = 0; e < 4; ++e)
        std::printf("  %-6s %8.1f ms  %.2fx\n", velk_emulator_name(emulators[e]), best(emulatorMs[e]),
                    best(emulatorMs[e]) / best(emulatorMs[0]));
    return 0;
}
