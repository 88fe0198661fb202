// How fast the plug-in starts and renders: the time from Play to the first
// block written, and a whole song rendered through the plug-in (conversion,
// length measurement and rendering, at the host's fastest clock) against
// velkrender rendering the converted song directly on the same emulator
// (satoh), and both against
// CEmuopl alone, as the one OPL2 chip they play on, replaying the register
// writes the engine makes for the song at their frames. Each is measured
// twice: writing its WAV file, and into nothing (the plug-in into an output
// that keeps nothing, velkrender into /dev/null), since writing 39 MB costs
// the kernel alone about as much as the margin being measured, and the chip
// replays into memory. Figures from one run.
//
// usage: plugin_bench [PLUGIN SONG [VELKRENDER]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <fprovide.h>

#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/host_output.h"
#include "host/playback_session.h"
#include "host/plugin_library.h"
#include "rol/opl2_chip.h"
#include "rol/rol_player.h"
#include "tools/velkrender/render_loop.h"

#include "bench/register_replay.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace velk::host;

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Processor time used so far by this process and by its waited-for
// children, in ms: steadier than wall time on a shared machine.
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double cpuMsAll() { return cpuMs(RUSAGE_SELF) + cpuMs(RUSAGE_CHILDREN); }

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Startup {
    double playMs;        // the Play call: conversion, loading, length measurement
    double firstBlockMs;  // from the call of Play to the first block written
};

Startup measureStartup(In_Module &module, EndOfSongReceiver &receiver, const std::string &song)
{
    configureOutput({});
    const auto start = Clock::now();
    const int result = module.Play(song.c_str());
    const auto played = Clock::now();
    if (result != 0) {
        std::fprintf(stderr, "plugin_bench: Play failed (%d)\n", result);
        std::exit(1);
    }
    while (outputCounters().writes == 0)
        receiver.pump(0);
    const auto first = outputCounters().firstWrite;
    module.Stop();
    return {msSince(start, played), msSince(start, first)};
}

double measureWholeSong(In_Module &module, EndOfSongReceiver &receiver, const std::string &song,
                        const std::string &wav, int &lengthMs)
{
    configureOutput({wav});
    const auto start = Clock::now();
    const SessionResult result = playSong(module, song, receiver, {});
    const double ms = msSince(start, Clock::now());
    if (result.playResult != 0 || !result.endedBySong) {
        std::fprintf(stderr, "plugin_bench: the song did not play to its end\n");
        std::exit(1);
    }
    lengthMs = result.lengthMs;
    return ms;
}

int run(const std::string &command)
{
    return std::system(command.c_str());
}

std::string shellQuoted(const fs::path &path) { return "'" + path.string() + "'"; }

} // namespace

int main(int argc, char **argv)
{
    const std::string plugin = argc > 1 ? argv[1] : VELK_BENCH_PLUGIN;
    const std::string song = argc > 2 ? argv[2] : VELK_BENCH_SONG;
    const std::string velkrender = argc > 3 ? argv[3] : VELK_BENCH_VELKRENDER;
    if (!fs::exists(song)) {
        std::fprintf(stderr, "plugin_bench: no song at %s\n", song.c_str());
        return 1;
    }

    const fs::path work = fs::temp_directory_path() / ("velk-plugin-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    setenv("TMPDIR", work.c_str(), 1);

    std::string error;
    auto library = PluginLibrary::load(plugin, error);
    if (!library) {
        std::fprintf(stderr, "plugin_bench: %s\n", error.c_str());
        return 1;
    }
    In_Module &module = *library->entry()();
    EndOfSongReceiver receiver;
    fillHostMembers(module, receiver.window(), library->instance());
    module.Init();

    std::printf("plug-in: %s\nsong: %s\n", plugin.c_str(), song.c_str());

    // The first Play also writes the converter into the workspace.
    const int runs = 7;
    std::vector<double> playMs, firstBlockMs;
    const Startup cold = measureStartup(module, receiver, song);
    for (int i = 0; i < runs; ++i) {
        const Startup s = measureStartup(module, receiver, song);
        playMs.push_back(s.playMs);
        firstBlockMs.push_back(s.firstBlockMs);
    }
    std::printf("Play to first block: %.1f ms first time (converter written), median %.1f ms of %d "
                "(min %.1f); Play itself %.1f ms\n",
                cold.firstBlockMs, median(firstBlockMs), runs, *std::min_element(firstBlockMs.begin(), firstBlockMs.end()),
                median(playMs));

    // The same song converted once, untimed, with its bank beside it, for
    // velkrender to render directly.
    const bool compare = !velkrender.empty() && fs::exists(velkrender);
    const fs::path bank = fs::path(song).replace_extension(".bnk");
    if (compare) {
        fs::copy_file(song, work / "song.ims", fs::copy_options::overwrite_existing);
        if (fs::exists(bank))
            fs::copy_file(bank, work / "song.bnk", fs::copy_options::overwrite_existing);
        if (run("cd " + shellQuoted(work) + " && " + shellQuoted(VELK_BENCH_CONVERTER) + " song.ims > /dev/null") != 0 ||
            !fs::exists(work / "song.rol")) {
            std::fprintf(stderr, "plugin_bench: could not convert the song for velkrender\n");
            return 1;
        }
    }
    // The song's register writes at their frames, from the engine on the
    // chip the plug-in makes, for the chip to replay alone.
    const std::unique_ptr<CEmuopl> chip = velk::makeOpl2Chip(44100, true, true);
    std::vector<velk::bench::TimedWrite> writes;
    std::vector<std::uint8_t> pcm;
    std::uint64_t songFrames = 0;
    if (compare) {
        velk::bench::TapOpl tap(*chip);
        velk::RolPlayer player(&tap);
        if (!player.load((work / "song.rol").string(), CProvider_Filesystem())) {
            std::fprintf(stderr, "plugin_bench: the converted song does not load\n");
            return 1;
        }
        velk::render::renderSong(player, tap, velk::render::AudioFormat{}, [](const std::uint8_t *, std::size_t) {});
        writes = tap.writes;
        songFrames = tap.frame;
        pcm.resize(songFrames * 4);
    }
    // velkrender plays Nuked by default; the plug-in plays satoh (CEmuopl):
    // like is compared with like.
    const auto velkrenderTo = [&](const std::string &out) {
        return shellQuoted(velkrender) + " --emu satoh --bank " + shellQuoted(work / "song.bnk") + " -o " + out + " " +
               shellQuoted(work / "song.rol") + " > /dev/null";
    };
    const std::string direct = velkrenderTo(shellQuoted(work / "velkrender.wav"));
    const std::string directToNothing = velkrenderTo("/dev/null");

    // Rounds alternate between the two, so that both see the same machine;
    // the medians are compared.
    const int rounds = 5;
    int lengthMs = 0;
    std::vector<double> pluginMs, directMs, pluginCpuMs, directCpuMs, chipMs, chipCpuMs;
    std::vector<double> pluginToNothingCpuMs, directToNothingCpuMs;
    const auto timeVelkrender = [&](const std::string &command, std::vector<double> *wallMs, std::vector<double> &cpuTimes) {
        const double cpu = cpuMs(RUSAGE_CHILDREN);
        const auto start = Clock::now();
        if (run(command) != 0) {
            std::fprintf(stderr, "plugin_bench: velkrender failed\n");
            std::exit(1);
        }
        if (wallMs)
            wallMs->push_back(msSince(start, Clock::now()));
        cpuTimes.push_back(cpuMs(RUSAGE_CHILDREN) - cpu);
    };
    for (int round = 0; round < rounds; ++round) {
        double cpu = cpuMsAll();
        pluginMs.push_back(measureWholeSong(module, receiver, song, (work / "plugin.wav").string(), lengthMs));
        pluginCpuMs.push_back(cpuMsAll() - cpu);
        if (!compare)
            continue;
        cpu = cpuMsAll();
        measureWholeSong(module, receiver, song, "", lengthMs);
        pluginToNothingCpuMs.push_back(cpuMsAll() - cpu);
        timeVelkrender(direct, &directMs, directCpuMs);
        timeVelkrender(directToNothing, nullptr, directToNothingCpuMs);

        cpu = cpuMs(RUSAGE_SELF);
        const auto chipStart = Clock::now();
        velk::bench::replayWrites(*chip, writes, songFrames, 4, pcm);
        chipMs.push_back(msSince(chipStart, Clock::now()));
        chipCpuMs.push_back(cpuMs(RUSAGE_SELF) - cpu);
    }
    module.Quit();
    const double pluginMedian = median(pluginMs);
    std::printf("whole song through the plug-in (conversion, length, rendering, WAV): median %.0f ms of %d "
                "(min %.0f) for %d ms of audio, %.0fx real time\n",
                pluginMedian, rounds, *std::min_element(pluginMs.begin(), pluginMs.end()), lengthMs, lengthMs / pluginMedian);
    if (!compare) {
        std::printf("velkrender: not built; no comparison\n");
        fs::remove_all(work);
        return 0;
    }
    const double directMedian = median(directMs);
    std::printf("velkrender, the converted song directly (WAV): median %.0f ms of %d (min %.0f)\n", directMedian,
                rounds, *std::min_element(directMs.begin(), directMs.end()));
    std::printf("processor time: plug-in median %.0f ms, velkrender median %.0f ms\n", median(pluginCpuMs),
                median(directCpuMs));
    // On a shared machine the fastest round is the one least disturbed.
    std::printf("plug-in / velkrender: %.3f of the processor times, %.3f of the wall-time medians, %.3f of the "
                "fastest rounds (target: at most 1.05)\n",
                median(pluginCpuMs) / median(directCpuMs), pluginMedian / directMedian,
                *std::min_element(pluginMs.begin(), pluginMs.end()) / *std::min_element(directMs.begin(), directMs.end()));
    const double chipMedian = median(chipMs);
    std::printf("CEmuopl alone, one chip, replaying the song's %zu register writes at their frames: median %.0f ms "
                "(min %.0f), processor time %.0f ms\n",
                writes.size(), chipMedian, *std::min_element(chipMs.begin(), chipMs.end()), median(chipCpuMs));
    std::printf("against CEmuopl alone (processor times, wall-time medians; target: at most 1.05): plug-in %.3f, "
                "%.3f; velkrender %.3f, %.3f\n",
                median(pluginCpuMs) / median(chipCpuMs), pluginMedian / chipMedian,
                median(directCpuMs) / median(chipCpuMs), directMedian / chipMedian);
    std::printf("into nothing, processor time: plug-in median %.0f ms, velkrender median %.0f ms; against CEmuopl "
                "alone (target: at most 1.05): plug-in %.3f, velkrender %.3f\n",
                median(pluginToNothingCpuMs), median(directToNothingCpuMs),
                median(pluginToNothingCpuMs) / median(chipCpuMs), median(directToNothingCpuMs) / median(chipCpuMs));
    fs::remove_all(work);
    return 0;
}
