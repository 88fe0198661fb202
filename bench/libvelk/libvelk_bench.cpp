// libvelk's costs, from one run: opening a song and reading its length; a
// whole song rendered into memory through the library against the chip
// alone replaying the register writes the engine makes for it (the
// library's own share: conversion, the engine, the guard around the shared
// emulators); a seek to the last minute, forward from the start and back
// from the end; and each emulator's whole song against satoh's.
//
// usage: libvelk_bench [SONG]   (default: the shared go-_-go.ims)
#include <emuopl.h>
#include <fprovide.h>
#include <nemuopl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

} // namespace

int main(int argc, char **argv)
{
    const std::string song = argc > 1 ? argv[1] : VELK_BENCH_SONG;

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

    // Seeks to the last minute: forward from the start, and back from the
    // end (a rewind and the steps again).
    velk_song *s = openSong(song, VELK_EMULATOR_DEFAULT);
    const std::int64_t lastMinute = std::max<std::int64_t>(lengthMs - 60000, 0);
    // Each seek timed alone: forward from the start (stepping the engine
    // without rendering), and back from the end (a rewind, then the steps).
    std::vector<double> forwardMs, backMs;
    for (int round = 0; round < 9; ++round) {
        velk_seek_ms(s, 0);
        auto start = Clock::now();
        velk_seek_ms(s, lastMinute);
        forwardMs.push_back(milliseconds(Clock::now() - start));
        velk_seek_ms(s, lengthMs);
        start = Clock::now();
        velk_seek_ms(s, lastMinute);
        backMs.push_back(milliseconds(Clock::now() - start));
    }
    std::sort(forwardMs.begin(), forwardMs.end());
    std::sort(backMs.begin(), backMs.end());
    const velk::bench::Figures forward{forwardMs[forwardMs.size() / 2], forwardMs.front()};
    const velk::bench::Figures back{backMs[backMs.size() / 2], backMs.front()};
    velk_close(s);
    std::printf("seek to the last minute (%lld ms): from the start median %.3f ms, from the end (rewinding) median "
                "%.3f ms (target: under 10 ms)\n",
                static_cast<long long>(lastMinute), forward.median, back.median);

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
