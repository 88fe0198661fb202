// How fast the plug-in starts and renders: the time from Play to the first
// block written, and a whole song rendered through the plug-in (conversion,
// length measurement and rendering, at the host's fastest clock) against
// velkrender rendering the converted song directly. Figures from one run.
//
// usage: plugin_bench [PLUGIN SONG [VELKRENDER]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/host_output.h"
#include "host/playback_session.h"
#include "host/plugin_library.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace velk::host;

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

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

    int lengthMs = 0;
    const double pluginMs = measureWholeSong(module, receiver, song, (work / "plugin.wav").string(), lengthMs);
    module.Quit();
    std::printf("whole song through the plug-in: %.0f ms for %d ms of audio (%.0fx real time)\n", pluginMs, lengthMs,
                lengthMs / pluginMs);

    if (velkrender.empty() || !fs::exists(velkrender)) {
        std::printf("velkrender: not built; no comparison\n");
        return 0;
    }
    // The same song converted once, untimed, and its bank beside it.
    const fs::path bank = fs::path(song).replace_extension(".bnk");
    fs::copy_file(song, work / "song.ims", fs::copy_options::overwrite_existing);
    if (fs::exists(bank))
        fs::copy_file(bank, work / "song.bnk", fs::copy_options::overwrite_existing);
    const std::string converter = (fs::path(velkrender).parent_path() / ".." / "converter" / "ruz2avu").string();
    if (run("cd " + shellQuoted(work) + " && " + shellQuoted(converter) + " song.ims > /dev/null") != 0 ||
        !fs::exists(work / "song.rol")) {
        std::fprintf(stderr, "plugin_bench: could not convert the song for velkrender\n");
        return 1;
    }
    const auto start = Clock::now();
    const int status = run(shellQuoted(velkrender) + " " + shellQuoted(work / "song.rol") + " " + shellQuoted(work / "song.bnk") +
                           " " + shellQuoted(work / "velkrender.wav") + " > /dev/null");
    const double directMs = msSince(start, Clock::now());
    if (status != 0) {
        std::fprintf(stderr, "plugin_bench: velkrender failed\n");
        return 1;
    }
    std::printf("velkrender, the converted song directly: %.0f ms\n", directMs);
    std::printf("plug-in / velkrender: %.3f (target: within 1.05)\n", pluginMs / directMs);
    fs::remove_all(work);
    return 0;
}
