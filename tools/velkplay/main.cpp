// velkplay: plays IMS and ROL songs through the sound card on Linux, with
// libvelk as its engine, or with --plugin the Velk plug-in, loaded and driven
// the way the Winamp player drives it. Either way the playlist drives an
// input-module record: its host functions and window stand-in are
// velkhost's, its output module is the sound card through SDL2.
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/plugin_library.h"
#include "tools/velkplay/library_module.h"
#include "tools/velkplay/song_list_player.h"
#include "tools/velkplay/sound_output.h"
#include "tools/velkplay/terminal.h"

namespace {

constexpr int inModuleVersion = 0x100;
constexpr int exitSomeFailed = 1;
constexpr int exitCannotPlay = 2;

const char usage[] =
    "usage: velkplay [--emu NAME] [--pitch] [--even-loudness] [--device NAME] SONG...\n"
    "       velkplay --plugin PATH [--device NAME] SONG...\n"
    "\n"
    "Plays each SONG (IMS or ROL) in turn through the sound card, with libvelk\n"
    "as the engine, or with --plugin through a Winamp input plug-in as Winamp\n"
    "plays it.\n"
    "  --emu NAME     the OPL2 emulator: nuked (the chip's own sound and level;\n"
    "                 the default), satoh (what the plug-in plays, about 6 dB\n"
    "                 hotter), woody or ken\n"
    "  --pitch        bend notes by the songs' pitch events (the plug-in leaves\n"
    "                 them silent)\n"
    "  --even-loudness  play every song equally loud (-18 LUFS, as ReplayGain\n"
    "                 2.0 has it; never raised so far that it clips), from a\n"
    "                 measure made as it starts playing; g turns it on and off\n"
    "  --plugin PATH  play through this input plug-in (in_velk.so) instead\n"
    "  --device NAME  the sound device to play on (default: the system's)\n"
    "On a terminal: space pauses and resumes, left and right seek 10 s back and\n"
    "forward, n plays the next song, p the previous one, q quits. A song with\n"
    "lyrics (its lyric file SONG.ISS beside it) shows the line being sung, its\n"
    "sung part lit, and the next line under the bar; l hides and shows them.\n"
    "Under them a row for each voice (name, instrument, level, note); v hides\n"
    "and shows it. 1-9 mute voice 1-9 (again: unmute), b s t c h the bass drum,\n"
    "snare, tom-tom, cymbal and hi-hat; ! @ # $ % ^ & * ( and B S T C H play\n"
    "that voice alone (again, or 0: every voice). + and - change the tempo by\n"
    "5% (25% to 400%), ] and [ the key by a semitone (an octave either way),\n"
    "g evens out loudness (the status line shows the song's gain).\n"
    "? lists the keys. Voices, tempo, key and loudness need the library (not\n"
    "--plugin).\n"
    "Otherwise every song plays to its end, with a line for each.\n"
    "Exit status: 0 when every song played, 1 when some could not, 2 when\n"
    "nothing could (no song could play, no sound device, no plug-in, a wrong\n"
    "command line).\n";


struct Options {
    std::string plugin;
    velk_emulator emulator = VELK_EMULATOR_DEFAULT;
    bool emulatorChosen = false;
    bool pitchBends = false;
    bool evenLoudness = false;
    std::string device;
    std::vector<std::string> songs;
};

[[noreturn]] void usageError(const std::string &message)
{
    std::cerr << "velkplay: " << message << "\n\n" << usage;
    std::exit(exitCannotPlay);
}

Options parseArguments(int argc, char **argv)
{
    Options options;
    bool optionsEnded = false;
    auto value = [&](int &i, const std::string &option) -> std::string {
        if (i + 1 >= argc)
            usageError(option + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.songs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            std::exit(0);
        } else if (arg == "--plugin") {
            options.plugin = value(i, arg);
        } else if (arg == "--device") {
            options.device = value(i, arg);
        } else if (arg == "--emu") {
            const std::string name = value(i, arg);
            const int emulator = velk_emulator_named(name.c_str());
            if (emulator <= VELK_EMULATOR_DEFAULT)
                usageError("unknown emulator " + name + " (satoh, nuked, woody or ken)");
            options.emulator = static_cast<velk_emulator>(emulator);
            options.emulatorChosen = true;
        } else if (arg == "--pitch") {
            options.pitchBends = true;
        } else if (arg == "--even-loudness") {
            options.evenLoudness = true;
        } else {
            usageError("unknown option " + arg);
        }
    }
    if (options.songs.empty())
        usageError("no song to play");
    if (!options.plugin.empty() && (options.emulatorChosen || options.pitchBends || options.evenLoudness))
        usageError("--emu, --pitch and --even-loudness choose how libvelk plays; the plug-in plays as it does in "
                   "Winamp");
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    Options options = parseArguments(argc, argv);

    std::string error;
    std::unique_ptr<velk::host::PluginLibrary> library;
    In_Module *module = nullptr;
    HostInstance instance = nullptr;
    std::function<std::string()> whyPlayFailed;
    std::optional<velk::play::SongControls> controls;
    if (options.plugin.empty()) {
        velk_options open;
        velk_options_init(&open);
        open.emulator = options.emulator;
        open.pitch_bends = options.pitchBends ? 1 : 0;
        velk::play::setLibraryOptions(open);
        module = &velk::play::libraryModule();
        whyPlayFailed = [] { return velk::play::lastOpenError(); };
        controls = velk::play::SongControls{velk::play::setListening, velk::play::heardVoices,
                                            velk::play::evenLoudnessGainDb, {}};
        controls->start.evenLoudness = options.evenLoudness;
    } else {
        library = velk::host::PluginLibrary::load(options.plugin, error);
        if (!library) {
            std::cerr << "velkplay: cannot load the plug-in: " << error << "\n";
            return exitCannotPlay;
        }
        module = library->entry()();
        if (!module || module->version != inModuleVersion) {
            std::cerr << "velkplay: " << options.plugin << " does not give an input-module record of version 0x100\n";
            return exitCannotPlay;
        }
        instance = library->instance();
    }
    if (!velk::play::startSound(options.device, error)) {
        std::cerr << "velkplay: no sound device"
                  << (options.device.empty() ? std::string() : " named '" + options.device + "'") << " to play on ("
                  << error << ")\n";
        return exitCannotPlay;
    }

    velk::play::catchStopSignals();
    velk::host::EndOfSongReceiver receiver;
    velk::host::fillHostMembers(*module, receiver.window(), instance, velk::play::soundOutputModule());
    module->Init();
    velk::play::ListResult result;
    {
        auto terminal = velk::play::Terminal::takeOver();
        result = velk::play::playSongList(*module, receiver, options.songs, terminal.get(), std::cout, std::cerr,
                                          whyPlayFailed, controls ? &*controls : nullptr);
    }
    module->Quit();
    velk::play::stopSound();

    if (result.stopSignal)
        velk::play::endBySignal(result.stopSignal);
    if (result.failed > 0)
        return result.played == 0 ? exitCannotPlay : exitSomeFailed;
    return 0;
}
