// IMS player figures from one run: the time of a whole load of a real song
// (stage, convert through the command interpreter, read the ROL song and its
// bank), the part of it spent in the converter process, and the player's own
// share (target: under 10% of the load).
//
//   imsplayer_bench [song.ims]
//
// Each round loads the song, then does the steps of a load one by one and
// times them apart: staging the song and reading its title, the converter
// run through the console process runner, and reading the ROL song it wrote
// with its bank and cleaning up. The player's own work is the sum of the
// steps around the run, measured directly; the load minus the run is shown
// beside it as a cross-check.

#include <binio.h>
#include <fprovide.h>
#include <silentopl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imsplayer/console_process.h"
#include "imsplayer/converter_workspace.h"
#include "imsplayer/ims_player.h"
#include "imsplayer/title_decoding.h"
#include "imsplayer/workspace_files.h"
#include "rol/bank_choice.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "bench/timing.h"

namespace {

using namespace velk::bench;
namespace fs = std::filesystem;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A workspace of the bench's own, so that the fixed names collide with nobody.
fs::path makeWorkspace()
{
    fs::path dir = fs::temp_directory_path() / ("velk-imsplayer-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
#ifdef _WIN32
    SetEnvironmentVariableA("TMP", dir.string().c_str());
    SetEnvironmentVariableA("TEMP", dir.string().c_str());
#else
    setenv("TMPDIR", dir.c_str(), 1);
#endif
    return dir;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace velk;
    const std::string song = argc > 1 ? argv[1] : std::string(VELK_SONGS_DIR) + "/go-_-go.ims";
    if (!fs::exists(song)) {
        std::fprintf(stderr, "imsplayer_bench: %s not found\n", song.c_str());
        return 1;
    }
    const fs::path workspace = makeWorkspace();
    initWorkspace(nullptr);  // this program carries the converter resource itself

    CSilentopl opl;
    CProvider_Filesystem files;

    // The first load also writes the converter into the workspace.
    auto start = Clock::now();
    bool loaded = ImsPlayer(&opl).load(song, files);
    const double firstLoad = milliseconds(Clock::now() - start);
    if (!loaded) {
        std::fprintf(stderr, "imsplayer_bench: %s does not load\n", song.c_str());
        return 1;
    }

    const int rounds = 25;
    std::vector<double> loads, stagings, runs, reads;
    const std::string staged = workspacePath + stagedSongFileName, rol = workspacePath + rolSongFileName;
    for (int i = 0; i < rounds; ++i) {
        ImsPlayer player(&opl);
        start = Clock::now();
        player.load(song, files);
        loads.push_back(milliseconds(Clock::now() - start));

        // Steps 1 to 4: converter check, old output removed, song staged,
        // title read.
        start = Clock::now();
        (void)fileExists(workspacePath + converterFileName);
        deleteFile(rol);
        makeFileDeletable(staged);
        deleteFile(staged);
        copyFile(song, staged);
        TitleField title{};
        if (std::FILE *file = std::fopen(staged.c_str(), "rb")) {
            unsigned char head[6];
            if (std::fread(head, 1, sizeof head, file) == sizeof head)
                std::fread(title.data(), 1, title.size(), file);
            std::fclose(file);
        }
        const std::string text = decodeTitle(title);
        stagings.push_back(milliseconds(Clock::now() - start));

        // Step 5: the converter process, as the load runs it.
        const std::string previous = currentDirectory();
        start = Clock::now();
        setCurrentDirectory(workspacePath);
        consoleProcess.run(converterCommandLine(workspacePath).c_str());
        setCurrentDirectory(previous);
        runs.push_back(milliseconds(Clock::now() - start));

        // Steps 6 to 9: staged copy removed, ROL song and bank read, output removed.
        start = Clock::now();
        makeFileDeletable(staged);
        deleteFile(staged);
        if (binistream *stream = files.open(rol)) {
            RolPlayer reader(&opl);
            reader.loadSong(*stream, chooseBankPath(song), files);
            files.close(stream);
        }
        deleteFile(rol);
        reads.push_back(milliseconds(Clock::now() - start));
    }

    TitleField field{};
    field.fill(0x88);
    start = Clock::now();
    std::size_t sink = 0;
    for (int i = 0; i < 1000; ++i)
        sink += decodeTitle(field).size();
    const double decode = milliseconds(Clock::now() - start) / 1000;

    const double load = median(loads), run = median(runs), staging = median(stagings), reading = median(reads);
    const double own = staging + reading;
    std::printf("song: %s\n", song.c_str());
    std::printf("first load (also writes the converter): %.1f ms\n", firstLoad);
    std::printf("load, median of %d: %.1f ms\n", rounds, load);
    std::printf("  converter process through the runner: %.1f ms\n", run);
    std::printf("  staging and title: %.2f ms; ROL song, bank and cleanup: %.2f ms\n", staging, reading);
    std::printf("  player's own work: %.2f ms = %.1f%% of the load (target < 10%%)\n", own, 100.0 * own / load);
    std::printf("  cross-check, load minus run: %.1f ms\n", load - run);
    std::printf("title decoding, 15 double-byte characters: %.3f ms (%zu)\n", decode, sink / 1000);

    quitWorkspace();
    std::error_code ec;
    fs::remove_all(workspace, ec);
    return 0;
}
