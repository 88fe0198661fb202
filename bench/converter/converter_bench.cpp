// Converter figures from one run: the in-process conversion of a real song
// (target: under 2 ms; the plug-in waits at most 3,000 ms for the whole
// program), and the whole-process time of ruz2avu against the start of a
// trivial program built the same way.
//
//   converter_bench [song.ims]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

#include "converter/conversion.h"

#include "bench/timing.h"

namespace {

using namespace velk::bench;
namespace fs = std::filesystem;

// Runs `program` with `args` in the current folder, output discarded.
bool runQuietly(const std::string &program, const std::vector<std::string> &args)
{
#ifdef _WIN32
    std::string command = "\"" + program + "\"";
    for (const std::string &a : args)
        command += " " + a;
    return std::system((command + " >NUL").c_str()) == 0;
#else
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return !failed && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path songPath = argc > 1 ? fs::path(argv[1]) : fs::path(VELK_SONGS_DIR) / "go-_-go.ims";
    std::ifstream in(songPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "converter_bench: cannot read %s\n", songPath.string().c_str());
        return 1;
    }
    const velk::Bytes song(std::istreambuf_iterator<char>(in), {});

    std::printf("converter benchmark (%s build%s), song %s, %zu bytes\n", VELK_BUILD_TYPE,
                VELK_SANITIZED ? ", sanitizers on: figures inflated" : "", songPath.filename().string().c_str(),
                song.size());

    std::size_t rolSize = 0;
    const Figures convert = measure(200, [&] { rolSize = velk::converter::convertImsToRol(song).rol.size(); });
    std::printf("  in-process conversion:    median %8.3f ms, best %8.3f ms  (target 2 ms: %.1f%% of it), ROL %zu bytes\n",
                convert.median, convert.best, 100 * convert.median / 2.0, rolSize);

    // Whole processes, in a folder of their own, as the plug-in runs it.
    const fs::path folder = fs::temp_directory_path() / ("velk-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(folder);
    fs::copy_file(songPath, folder / "$$.ims");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    bool allRan = true;
    const Figures converter = measure(30, [&] { allRan &= runQuietly(VELK_RUZ2AVU, {"$$.ims"}); });
    const Figures trivial = measure(30, [&] { allRan &= runQuietly(VELK_TRIVIAL, {}); });
    fs::current_path(previous);
    fs::remove_all(folder);
    if (!allRan) {
        std::fprintf(stderr, "converter_bench: a program run failed\n");
        return 1;
    }
    std::printf("  ruz2avu $$.ims, process:  median %8.3f ms, best %8.3f ms\n", converter.median, converter.best);
    std::printf("  trivial program, process: median %8.3f ms, best %8.3f ms\n", trivial.median, trivial.best);
    std::printf("  ruz2avu costs %.3f ms over a bare start (%.2fx); the plug-in waits up to 3000 ms (%.2f%% used)\n",
                converter.median - trivial.median, converter.median / trivial.median, 100 * converter.median / 3000);
    return 0;
}
