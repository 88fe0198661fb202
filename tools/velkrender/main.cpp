// velkrender: renders ROL or IMS songs through libvelk to WAV, FLAC or Ogg
// Vorbis files, or lists the chip register writes they make (on the engine
// directly).
#include <binio.h>
#include <binstr.h>
#include <fprovide.h>
#include <player.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "imsplayer/title_decoding.h"
#include "libvelk/velk.h"
#include "platform/euckr_to_utf8.h"
#include "rol/bank_choice.h"
#include "rol/path_exists.h"
#include "rol/rol_player.h"
#include "tools/velkrender/audio_file.h"
#include "tools/velkrender/register_log.h"
#include "tools/velkrender/song_files.h"
#include "tools/velkrender/song_lrc.h"

namespace {

// The output asked for: rate, channels, sample size.
struct AudioFormat {
    int rate = 44100;
    bool stereo = true;
    bool sixteenBit = true;

    int channels() const { return stereo ? 2 : 1; }
    int bytesPerFrame() const { return channels() * (sixteenBit ? 2 : 1); }
};

constexpr char usage[] =
    "usage: velkrender [--bank FILE] [--rate HZ] [--mono] [--8bit] [--emu NAME] [--pitch] [--regs]\n"
    "                  [--lrc] [-o OUT | --out-dir DIR] SONG...\n"
    "  Renders each SONG (a ROL or IMS song) to an audio file (16-bit stereo\n"
    "  44100 Hz unless told otherwise), by default SONG with the extension .wav.\n"
    "  The output's extension chooses its format: .flac (FLAC) or .ogg (Ogg\n"
    "  Vorbis), both tagged with the song's title, else WAV. One song: its\n"
    "  title (IMS songs) and length are shown\n"
    "  first. Several: a line for each and a summary; a song that fails does not\n"
    "  stop the others, and the exit status is 0 only when all were written.\n"
    "  A SONG with * or ? that names no file is matched in any case (*.ims finds\n"
    "  SONG.IMS).\n"
    "  --bank FILE  the instrument bank (else SONG's own .bnk, or standard.bnk\n"
    "               beside it, each in any case)\n"
    "  --rate HZ    sample rate, 8000 to 192000\n"
    "  --mono       one channel\n"
    "  --8bit       8-bit unsigned samples\n"
    "  --emu NAME   the OPL2 emulator: nuked (Nuked OPL3, the chip's own sound\n"
    "               and level; the default), satoh (AdPlug's CEmuopl: what the\n"
    "               plug-in plays, about 6 dB hotter, often clipping), woody\n"
    "               (DOSBox's) or ken (Ken Silverman's)\n"
    "  --pitch      bend notes by the songs' pitch events (the plug-in leaves\n"
    "               them silent)\n"
    "  --regs       write the chip's register writes instead, one line each:\n"
    "               tick (decimal, \"-\" for the rewind before tick 0), register\n"
    "               and value (hex); by default to SONG with the extension .txt,\n"
    "               \"-o -\" for standard output\n"
    "  --lrc        also write the song's lyrics (its lyric file, SONG.ISS\n"
    "               beside it) as an enhanced LRC file beside the output, with\n"
    "               the extension .lrc; with \"-o -\", only the LRC file, to\n"
    "               standard output, and no audio\n"
    "  -o OUT       the output of the one song\n"
    "  --out-dir DIR  every output in DIR (made when missing) instead of beside\n"
    "               its song\n";

// Songs longer than this are cut, as AdPlug's own songlength does.
constexpr double maxSongMs = 36000000.0;

struct Options {
    std::vector<std::string> songs;  // as given: files or patterns
    std::string bank;
    std::string output;
    std::string outDir;
    AudioFormat format;
    velk_emulator emulator = VELK_EMULATOR_DEFAULT;
    bool emulatorChosen = false;
    bool pitchBends = false;
    bool regs = false;
    bool lrc = false;
};

// What became of one song.
struct SongOutcome {
    bool ims = false;
    std::string title;  // UTF-8; IMS songs only
    unsigned long lengthMs = 0;
    std::string output;
    std::string error;  // empty when the output was written
    std::string lrc;    // the LRC file written (--lrc), if any
    std::string lyricsNote;  // why there is none, when asked for
};

// Hears of a song once it is loaded, before it is rendered.
using Announce = std::function<void(const SongOutcome &)>;

bool parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &into) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--bank") {
            if (!value(options.bank))
                return false;
        } else if (arg == "-o") {
            if (!value(options.output))
                return false;
        } else if (arg == "--out-dir") {
            if (!value(options.outDir))
                return false;
        } else if (arg == "--rate") {
            std::string text;
            if (!value(text))
                return false;
            char *end = nullptr;
            const long rate = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || rate < 8000 || rate > 192000) {
                error = "--rate must be 8000 to 192000, not " + text;
                return false;
            }
            options.format.rate = static_cast<int>(rate);
        } else if (arg == "--mono") {
            options.format.stereo = false;
        } else if (arg == "--8bit") {
            options.format.sixteenBit = false;
        } else if (arg == "--emu") {
            std::string name;
            if (!value(name))
                return false;
            const int emulator = velk_emulator_named(name.c_str());
            if (emulator <= VELK_EMULATOR_DEFAULT) {
                error = "unknown emulator " + name + " (satoh, nuked, woody or ken)";
                return false;
            }
            options.emulator = static_cast<velk_emulator>(emulator);
            options.emulatorChosen = true;
        } else if (arg == "--pitch") {
            options.pitchBends = true;
        } else if (arg == "--regs") {
            options.regs = true;
        } else if (arg == "--lrc") {
            options.lrc = true;
        } else if (arg == "-h" || arg == "--help") {
            error.clear();
            return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            options.songs.push_back(arg);
        }
    }
    if (options.songs.empty()) {
        error = "no song given";
        return false;
    }
    if (!options.output.empty() && !options.outDir.empty()) {
        error = "-o and --out-dir exclude each other";
        return false;
    }
    if (options.regs && options.emulatorChosen) {
        error = "--emu chooses what renders the sound; --regs renders none";
        return false;
    }
    if (options.regs && options.lrc) {
        error = "--lrc goes with the audio; --regs renders none";
        return false;
    }
    if (options.output == "-" && !options.regs && !options.lrc) {
        error = "an audio file cannot go to standard output";
        return false;
    }
    return true;
}

bool isImsSong(const std::string &path)
{
    if (path.size() < 4)
        return false;
    std::string extension = path.substr(path.size() - 4);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".ims";
}

// Why the bank chosen for `song` (or given as `bank`) could not be opened,
// naming the paths looked at.
std::string bankFailure(const std::string &song, const std::string &bank)
{
    if (!bank.empty())
        return "the instrument bank " + bank + " cannot be opened";
    const std::string chosen = velk::chooseBankPath(song);
    if (velk::pathExists(chosen))
        return "the instrument bank " + chosen + " cannot be opened";
    return "no instrument bank: looked for " + velk::songBankPath(song) + " and " + velk::standardBankPath(song) +
           ", each in any case";
}

// Why a player could not read its song.
std::string loadFailure(const velk::RolPlayer &player, const std::string &song, const std::string &bank)
{
    if (player.loadStatus() == velk::rol::SongReadStatus::bankUnavailable)
        return bankFailure(song, bank);
    return velk::rol::describe(player.loadStatus());
}

// Converts the IMS song at `path` in process and reads the ROL song with the
// bank chosen beside the IMS song (or `bank`). `title` gets the song's title
// as UTF-8.
bool loadImsSong(const std::string &path, const std::string &bank, velk::RolPlayer &player, std::string &title,
                 std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the song";
        return false;
    }
    const velk::Bytes song{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    title = velk::euckrToUtf8(velk::decodeTitle(velk::titleFieldOf(song.data(), song.size())));

    velk::converter::ConversionResult converted = velk::converter::convertImsToRol(song);
    if (!converted.converted()) {
        error = converted.reason;
        return false;
    }
    binisstream rol(converted.rol.data(), converted.rol.size());
    rol.setFlag(binio::BigEndian, false);
    rol.setFlag(binio::FloatIEEE);
    const CProvider_Filesystem files;
    if (!player.loadSong(rol, bank.empty() ? velk::chooseBankPath(path) : bank, files)) {
        error = loadFailure(player, path, bank);
        return false;
    }
    return true;
}

// `song` loaded into a player on `chip`, or null with `outcome.error` saying
// why. An IMS song's title goes to `outcome.title` (UTF-8).
std::unique_ptr<CPlayer> loadSong(const Options &options, const std::string &song, Copl &chip,
                                  SongOutcome &outcome)
{
    const CProvider_Filesystem files;
    auto player = std::make_unique<velk::RolPlayer>(&chip);
    player->setPitchBends(options.pitchBends);
    outcome.ims = isImsSong(song);
    if (outcome.ims) {
        if (!loadImsSong(song, options.bank, *player, outcome.title, outcome.error))
            return nullptr;
        return player;
    }
    bool loaded = false;
    if (options.bank.empty()) {
        loaded = player->load(song, files);
    } else if (binistream *stream = files.open(song)) {
        loaded = player->loadSong(*stream, options.bank, files);
        files.close(stream);
    } else {
        outcome.error = "cannot open the song";
        return nullptr;
    }
    if (!loaded) {
        outcome.error = loadFailure(*player, song, options.bank);
        return nullptr;
    }
    return player;
}

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

// The register writes of the whole song, tick by tick, to `path` ("-" for
// standard output).
SongOutcome listRegisters(const Options &options, const std::string &song, const std::string &path,
                          const Announce &announce)
{
    SongOutcome outcome;
    outcome.output = path;
    const bool toStdout = path == "-";
    std::FILE *out = toStdout ? stdout : std::fopen(path.c_str(), "w");
    if (!out) {
        outcome.error = "cannot write " + path;
        return outcome;
    }
    velk::render::RegisterLog log(out);
    std::unique_ptr<CPlayer> player = loadSong(options, song, log, outcome);
    if (!player) {
        if (!toStdout)
            std::fclose(out);
        return outcome;
    }
    outcome.lengthMs = player->songlength(0);
    announce(outcome);

    log.setTick("-");
    player->rewind(0);
    double ms = 0.0;
    for (unsigned long tick = 0; ms < maxSongMs; ++tick) {
        log.setTick(std::to_string(tick));
        if (!player->update())
            break;
        ms += 1000.0 / player->getrefresh();
    }
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    if (!toStdout)
        std::fclose(out);
    if (!written)
        outcome.error = "cannot write " + path;
    return outcome;
}

// Makes `outDir` (and the folders above it) when missing.
bool makeFolder(const std::string &outDir, std::string &error)
{
    std::error_code failure;
    std::filesystem::create_directories(outDir, failure);
    if (failure) {
        error = "cannot make the folder " + outDir + " (" + failure.message() + ")";
        return false;
    }
    return true;
}

// Frees a library song handle.
struct SongCloser {
    void operator()(velk_song *song) const { velk_close(song); }
};
using SongHandle = std::unique_ptr<velk_song, SongCloser>;

// `song` opened through the library with `open`, its title and length in
// `outcome` and announced; null, with `outcome.error` saying why, when it
// cannot be opened.
SongHandle openSong(const std::string &song, const velk_options &open, SongOutcome &outcome,
                    const Announce &announce)
{
    velk_song *opened = nullptr;
    const velk_error error = velk_open_file(song.c_str(), &open, &opened);
    SongHandle handle(opened);
    if (error != VELK_OK) {
        outcome.error = handle ? velk_error_message(handle.get()) : velk_error_string(error);
        return nullptr;
    }
    outcome.ims = isImsSong(song);
    outcome.title = velk_title(handle.get());
    outcome.lengthMs = static_cast<unsigned long>(velk_length_ms(handle.get()));
    announce(outcome);
    return handle;
}

// The song's lyrics as an LRC file at `path` ("-" for standard output). A
// song without lyrics gets none, with a note why; false only when the file
// cannot be written.
bool writeLrc(const velk_song *song, const std::string &path, SongOutcome &outcome)
{
    const std::optional<std::string> lrc = velk::render::lrcOf(song);
    if (!lrc) {
        const char *problem = velk_lyrics_problem(song);
        outcome.lyricsNote = problem ? std::string("lyrics ignored: ") + problem : "no lyrics";
        return true;
    }
    std::FILE *out = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    bool written = out && std::fwrite(lrc->data(), 1, lrc->size(), out) == lrc->size();
    if (out)
        written = std::fflush(out) == 0 && written;
    if (out && out != stdout)
        written = std::fclose(out) == 0 && written;
    if (!written) {
        outcome.error = "cannot write " + path;
        return false;
    }
    outcome.lrc = path;
    return true;
}

// The lyrics alone, to standard output (--lrc -o -): no audio.
SongOutcome lyricsOnly(const Options &options, const std::string &song, const Announce &announce)
{
    SongOutcome outcome;
    outcome.output = "-";
    velk_options open;
    velk_options_init(&open);
    open.bank_path = options.bank.empty() ? nullptr : options.bank.c_str();
    const SongHandle handle = openSong(song, open, outcome, announce);
    if (!handle)
        return outcome;
    if (writeLrc(handle.get(), "-", outcome) && outcome.lrc.empty())
        outcome.error = outcome.lyricsNote;
    return outcome;
}

// The whole song, through the library, as an audio file at `path`.
SongOutcome renderAudio(const Options &options, const std::string &song, const std::string &path,
                        const Announce &announce)
{
    SongOutcome outcome;
    outcome.output = path;
    const AudioFormat &format = options.format;
    velk_options open;
    velk_options_init(&open);
    open.sample_rate = format.rate;
    open.channels = format.channels();
    open.emulator = options.emulator;
    open.pitch_bends = options.pitchBends ? 1 : 0;
    open.bank_path = options.bank.empty() ? nullptr : options.bank.c_str();
    const SongHandle handle = openSong(song, open, outcome, announce);
    if (!handle)
        return outcome;
    if (options.lrc && !writeLrc(handle.get(), velk::render::lrcPathFor(path), outcome))
        return outcome;

    velk::render::AudioFile file;
    if (!file.open(path, format.rate, format.channels(), format.sixteenBit, outcome.title, outcome.error))
        return outcome;
    const bool showProgress = stderrIsTerminal();
    std::uint64_t shownSecond = 0;
    auto progress = [&](std::uint64_t frames) {
        const std::uint64_t second = frames / static_cast<std::uint64_t>(format.rate);
        if (!showProgress || second == shownSecond)
            return;
        shownSecond = second;
        const double total = outcome.lengthMs / 1000.0;
        std::fprintf(stderr, "\rrendering %llu of %.0f s (%3.0f%%)", static_cast<unsigned long long>(second), total,
                     total > 0 ? 100.0 * static_cast<double>(second) / total : 100.0);
    };
    std::uint64_t limit = static_cast<std::uint64_t>(maxSongMs / 1000.0 * format.rate);
    if (velk::render::audioFileTypeOf(path) == velk::render::AudioFileType::wav)
        limit = std::min<std::uint64_t>(limit, velk::render::maxWavDataBytes /
                                                   static_cast<std::uint64_t>(format.bytesPerFrame()));
    constexpr std::size_t blockFrames = 4096;
    std::vector<std::int16_t> block(blockFrames * static_cast<std::size_t>(format.channels()));
    std::uint64_t rendered = 0;
    bool written = true;
    while (rendered < limit && written) {
        const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(blockFrames, limit - rendered));
        const long frames = velk_render(handle.get(), block.data(), ask);
        if (frames <= 0)
            break;
        written = file.write(block.data(), static_cast<std::size_t>(frames));
        rendered += static_cast<std::uint64_t>(frames);
        progress(rendered);
    }
    if (showProgress)
        std::fprintf(stderr, "\n");
    if (!file.finish() || !written)
        outcome.error = "cannot write " + path;
    return outcome;
}

SongOutcome renderOne(const Options &options, const std::string &song, const std::string &output,
                      const Announce &announce)
{
    if (options.regs)
        return listRegisters(options, song, output, announce);
    if (options.lrc && output == "-")
        return lyricsOnly(options, song, announce);
    return renderAudio(options, song, output, announce);
}

std::string outputFor(const Options &options, const std::string &song)
{
    if (!options.output.empty())
        return options.output;
    return velk::render::outputPath(song, options.regs ? ".txt" : ".wav", options.outDir);
}

void reportFailure(const std::string &song, const std::string &error)
{
    std::fprintf(stderr, "velkrender: %s: %s\n", song.c_str(), error.c_str());
}

// One song, told about at length: its title and length before it renders.
int renderSingle(const Options &options, const std::string &song)
{
    const std::string output = outputFor(options, song);
    // Register lines going to standard output keep it to themselves.
    std::FILE *info = output == "-" ? stderr : stdout;
    const SongOutcome outcome = renderOne(options, song, output, [&](const SongOutcome &loaded) {
        if (loaded.ims)
            std::fprintf(info, "title: %s\n", loaded.title.c_str());
        std::fprintf(info, "length: %lu ms\n", loaded.lengthMs);
        std::fflush(info);
    });
    if (!outcome.error.empty()) {
        reportFailure(song, outcome.error);
        return 1;
    }
    if (!outcome.lrc.empty() && outcome.lrc != "-")
        std::fprintf(info, "lyrics: %s\n", outcome.lrc.c_str());
    else if (!outcome.lyricsNote.empty())
        std::fprintf(stderr, "velkrender: %s: %s\n", song.c_str(), outcome.lyricsNote.c_str());
    return 0;
}

// Several songs, a line for each and a summary; a failure does not stop the
// rest.
int renderSeveral(const Options &options, const std::vector<velk::render::SongArgument> &arguments)
{
    std::size_t songs = 0, written = 0;
    std::set<std::string> outputs;  // two songs of one name must not share an output
    for (const velk::render::SongArgument &argument : arguments) {
        if (argument.songs.empty()) {
            ++songs;
            reportFailure(argument.given, "no file matches");
            continue;
        }
        for (const std::string &song : argument.songs) {
            ++songs;
            const std::string output = outputFor(options, song);
            if (!outputs.insert(output).second) {
                reportFailure(song, output + " is the output of an earlier song");
                continue;
            }
            const SongOutcome outcome = renderOne(options, song, output, [](const SongOutcome &) {});
            if (!outcome.error.empty()) {
                reportFailure(song, outcome.error);
                continue;
            }
            ++written;
            if (!outcome.lyricsNote.empty())
                std::fprintf(stderr, "velkrender: %s: %s\n", song.c_str(), outcome.lyricsNote.c_str());
            const std::string lrc = outcome.lrc.empty() ? "" : ", " + outcome.lrc;
            if (outcome.ims)
                std::printf("%s: \"%s\", %lu ms -> %s%s\n", song.c_str(), outcome.title.c_str(), outcome.lengthMs,
                            output.c_str(), lrc.c_str());
            else
                std::printf("%s: %lu ms -> %s%s\n", song.c_str(), outcome.lengthMs, output.c_str(), lrc.c_str());
            std::fflush(stdout);
        }
    }
    std::printf("%zu of %zu songs written", written, songs);
    if (written < songs)
        std::printf(", %zu failed", songs - written);
    std::printf("\n");
    return written == songs ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        if (!error.empty())
            std::fprintf(stderr, "velkrender: %s\n", error.c_str());
        std::fputs(usage, error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    const std::vector<velk::render::SongArgument> arguments = velk::render::expandSongArguments(options.songs);
    if (!options.outDir.empty()) {
        std::string folderError;
        if (!makeFolder(options.outDir, folderError)) {
            std::fprintf(stderr, "velkrender: %s\n", folderError.c_str());
            return 1;
        }
    }
    if (arguments.size() == 1 && arguments[0].songs.size() == 1)
        return renderSingle(options, arguments[0].songs[0]);
    if (!options.output.empty()) {
        std::fprintf(stderr, "velkrender: -o names the output of one song; --out-dir takes several\n");
        return 2;
    }
    return renderSeveral(options, arguments);
}
