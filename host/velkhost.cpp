// velkhost: stands in for the player. Loads an input plug-in, plays one song
// through it into a WAV file (optionally following a script of seeks, pauses
// and a stop) and reports what the plug-in said.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/host_output.h"
#include "host/playback_session.h"
#include "host/plugin_library.h"
#include "platform/euckr_to_utf8.h"

namespace {

using velk::host::ScriptStep;

constexpr int inModuleVersion = 0x100;
// Without an explicit point, a step comes this long after the one before.
constexpr std::int64_t defaultStepSpacingMs = 1000;

const char usage[] =
    "usage: velkhost [--realtime] [--seek MS[@AT]] [--pause MS[@AT]] [--stop-after MS]\n"
    "                [--temp DIR] [-o OUT.wav] PLUGIN SONG\n"
    "\n"
    "Plays SONG through the input plug-in PLUGIN as the player would, writing the\n"
    "audio to OUT.wav. The clock runs as fast as the audio is written, or in real\n"
    "time with --realtime. Steps run in the order given, each once AT ms of audio\n"
    "have been played (default: 1000 ms after the step before):\n"
    "  --seek MS        seek to MS ms into the song\n"
    "  --pause MS       pause for MS ms of wall time, then go on\n"
    "  --stop-after MS  stop once MS ms of audio have been played\n"
    "  --temp DIR       use DIR as the temporary folder (where the plug-in keeps its workspace)\n";

struct Options {
    bool realtime = false;
    std::string tempDir;
    std::string wavPath;
    std::string plugin;
    std::string song;
    std::vector<ScriptStep> steps;
};

[[noreturn]] void usageError(const std::string &message)
{
    std::cerr << "velkhost: " << message << "\n\n" << usage;
    std::exit(2);
}

std::int64_t parseMs(const std::string &text, const std::string &option)
{
    errno = 0;
    char *end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 0x7FFFFFFF)
        usageError(option + " wants a number of milliseconds, not '" + text + "'");
    return value;
}

Options parseArguments(int argc, char **argv)
{
    Options options;
    std::vector<std::string> positional;
    std::int64_t lastAt = 0;
    auto value = [&](int &i, const std::string &option) -> std::string {
        if (i + 1 >= argc)
            usageError(option + " needs a value");
        return argv[++i];
    };
    auto addStep = [&](ScriptStep::Kind kind, const std::string &option, const std::string &text) {
        const auto at = text.find('@');
        const std::int64_t ms = parseMs(text.substr(0, at), option);
        const std::int64_t when =
            at == std::string::npos ? lastAt + defaultStepSpacingMs : parseMs(text.substr(at + 1), option);
        options.steps.push_back({kind, static_cast<int>(ms), when});
        lastAt = when;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            std::exit(0);
        } else if (arg == "--realtime") {
            options.realtime = true;
        } else if (arg == "--seek") {
            addStep(ScriptStep::Kind::seek, arg, value(i, arg));
        } else if (arg == "--pause") {
            addStep(ScriptStep::Kind::pause, arg, value(i, arg));
        } else if (arg == "--stop-after") {
            const std::int64_t ms = parseMs(value(i, arg), arg);
            options.steps.push_back({ScriptStep::Kind::stop, 0, ms});
            lastAt = ms;
        } else if (arg == "--temp") {
            options.tempDir = value(i, arg);
        } else if (arg == "-o") {
            options.wavPath = value(i, arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            usageError("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        usageError("want a plug-in and a song");
    options.plugin = positional[0];
    options.song = positional[1];
    return options;
}

// The plug-in's workspace is the temporary folder (on Windows) or a private
// folder in it (elsewhere), which the platform takes from these variables;
// the user's runtime folder, which would come first, is set aside.
void useTemporaryDirectory(const std::string &dir)
{
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) {
        std::cerr << "velkhost: --temp " << dir << " is not a folder\n";
        std::exit(2);
    }
    std::string path = std::filesystem::absolute(dir, error).string();
    for (const char *name : {"TMPDIR", "TMP", "TEMP"}) {
#ifdef _WIN32
        _putenv_s(name, path.c_str());
#else
        setenv(name, path.c_str(), 1);
#endif
    }
#ifndef _WIN32
    unsetenv("XDG_RUNTIME_DIR");
#endif
}

const char *playResultMeaning(int result)
{
    switch (result) {
    case -1: return "no player accepted the song";
    case 2: return "playback could not start";
    default: return "unexpected result";
    }
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseArguments(argc, argv);
    velk::useUtf8Console();
    if (!options.tempDir.empty())
        useTemporaryDirectory(options.tempDir);

    velk::host::OutputOptions output;
    output.wavPath = options.wavPath;
    output.realtime = options.realtime;
    velk::host::configureOutput(output);
    velk::host::resetHostCounters();

    std::string error;
    auto library = velk::host::PluginLibrary::load(options.plugin, error);
    if (!library) {
        std::cerr << "velkhost: " << error << "\n";
        return 1;
    }
    In_Module *module = library->entry()();
    if (!module || module->version != inModuleVersion) {
        std::cerr << "velkhost: " << options.plugin << " does not give an input-module record of version 0x100\n";
        return 1;
    }

    velk::host::EndOfSongReceiver receiver;
    velk::host::fillHostMembers(*module, receiver.window(), library->instance());
    module->Init();

    if (!module->IsOurFile(options.song.c_str()))
        std::cerr << "velkhost: the plug-in does not recognise " << options.song << "; playing it all the same\n";

    velk::host::SessionOptions session;
    session.steps = options.steps;
    session.onStarted = [](const std::string &title, int lengthMs) {
        std::cout << "title: " << velk::euckrToUtf8(title) << "\n"
                  << "length: " << lengthMs << " ms\n"
                  << std::flush;
    };
    const velk::host::SessionResult result = velk::host::playSong(*module, options.song, receiver, session);
    module->Quit();

    if (result.playResult != 0) {
        std::cerr << "velkhost: Play failed for " << options.song << " (result " << result.playResult << ": "
                  << playResultMeaning(result.playResult) << ")\n";
        return 1;
    }

    const velk::host::OutputCounters out = velk::host::outputCounters();
    const velk::host::HostCounters host = velk::host::hostCounters();
    const std::int64_t audioMs = out.sampleRate ? out.framesPlayed * 1000 / out.sampleRate : 0;
    std::cout << "wrote: " << (options.wavPath.empty() ? "nothing" : options.wavPath) << " (" << audioMs
              << " ms of audio)\n";
    std::cout << "events: end-of-song " << result.endOfSongMessages << ", steps " << result.stepsTaken << "/"
              << options.steps.size() << ", output opened " << out.opens << " closed " << out.closes
              << ", flushes " << out.flushes << ", blocks " << out.writes << ", dsp " << host.dspBlocks
              << ", vis " << host.saBlocks << "/" << host.vsaBlocks << "\n";

    if (out.wavFailed) {
        std::cerr << "velkhost: could not write all of " << options.wavPath << "\n";
        return 1;
    }
    if (result.stalled) {
        std::cerr << "velkhost: playback stalled: no audio for " << session.stallTimeoutMs / 1000
                  << " s; stopped\n";
        return 1;
    }
    if (result.stepsTaken < static_cast<int>(options.steps.size()))
        std::cerr << "velkhost: the song ended before step " << result.stepsTaken + 1 << " of the script\n";
    return 0;
}
