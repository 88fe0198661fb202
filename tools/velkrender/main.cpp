// velkrender: renders a ROL song, or an IMS song converted in process,
// through the Velk engine and AdPlug's OPL2 emulator to a WAV file, or lists
// the chip register writes it makes.
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
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "imsplayer/title_decoding.h"
#include "platform/euckr_to_utf8.h"
#include "rol/bank_choice.h"
#include "rol/opl2_chip.h"
#include "rol/rol_player.h"
#include "tools/velkrender/register_log.h"
#include "tools/velkrender/render_loop.h"
#include "tools/velkrender/wav_writer.h"

namespace {

using velk::render::AudioFormat;

constexpr char usage[] =
    "usage: velkrender [--bank FILE] [--rate HZ] [--mono] [--8bit] [--regs] [-o OUT] SONG\n"
    "  Renders SONG (a .rol song, or a .ims song, converted first) to a WAV file\n"
    "  (16-bit stereo 44100 Hz unless told otherwise), by default SONG with the\n"
    "  extension .wav. An IMS song's title is shown first.\n"
    "  --bank FILE  the instrument bank (else SONG's own .bnk, or standard.bnk beside it)\n"
    "  --rate HZ    sample rate, 8000 to 192000\n"
    "  --mono       one channel\n"
    "  --8bit       8-bit unsigned samples\n"
    "  --regs       write the chip's register writes instead, one line each:\n"
    "               tick (decimal, \"-\" for the rewind before tick 0), register\n"
    "               and value (hex); by default to SONG with the extension .txt,\n"
    "               \"-o -\" for standard output\n";

// Songs longer than this are cut, as AdPlug's own songlength does.
constexpr double maxSongMs = 36000000.0;

struct Options {
    std::string song;
    std::string bank;
    std::string output;
    AudioFormat format;
    bool regs = false;
};

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
        } else if (arg == "--regs") {
            options.regs = true;
        } else if (arg == "-h" || arg == "--help") {
            error.clear();
            return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.song.empty()) {
            options.song = arg;
        } else {
            error = "one song at a time";
            return false;
        }
    }
    if (options.song.empty()) {
        error = "no song given";
        return false;
    }
    if (options.output == "-" && !options.regs) {
        error = "a WAV file cannot go to standard output";
        return false;
    }
    return true;
}

// SONG with its extension (if any) replaced by `extension`.
std::string outputBeside(const std::string &song, const char *extension)
{
    const std::size_t slash = song.find_last_of("/\\");
    const std::size_t dot = song.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? song.substr(0, dot) : song) + extension;
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
    velk::TitleField field{};
    if (song.size() > velk::ims::titleOffset)
        std::copy_n(song.begin() + velk::ims::titleOffset,
                    std::min(field.size(), song.size() - velk::ims::titleOffset), field.begin());
    title = velk::euckrToUtf8(velk::decodeTitle(field));

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
        error = velk::rol::describe(player.loadStatus());
        return false;
    }
    return true;
}

// The song loaded into a player on `chip`, or null with `error` saying why.
// `title` gets an IMS song's title (UTF-8); ROL songs leave it alone.
std::unique_ptr<CPlayer> loadSong(const Options &options, Copl &chip, std::string &title, std::string &error)
{
    const CProvider_Filesystem files;
    auto player = std::make_unique<velk::RolPlayer>(&chip);
    bool loaded = false;
    if (isImsSong(options.song)) {
        if (!loadImsSong(options.song, options.bank, *player, title, error))
            return nullptr;
        return player;
    } else if (options.bank.empty()) {
        loaded = player->load(options.song, files);
    } else if (binistream *stream = files.open(options.song)) {
        loaded = player->loadSong(*stream, options.bank, files);
        files.close(stream);
    } else {
        error = "cannot open the song";
        return nullptr;
    }
    if (!loaded) {
        error = velk::rol::describe(player->loadStatus());
        return nullptr;
    }
    return player;
}

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

// The register writes of the whole song, tick by tick.
int listRegisters(const Options &options)
{
    const bool toStdout = options.output == "-";
    const std::string path = options.output.empty() ? outputBeside(options.song, ".txt") : options.output;
    std::FILE *out = toStdout ? stdout : std::fopen(path.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "velkrender: cannot write %s\n", path.c_str());
        return 1;
    }
    velk::render::RegisterLog log(out);
    std::string title, error;
    std::unique_ptr<CPlayer> player = loadSong(options, log, title, error);
    if (!player) {
        std::fprintf(stderr, "velkrender: %s: %s\n", options.song.c_str(), error.c_str());
        if (!toStdout)
            std::fclose(out);
        return 1;
    }
    if (isImsSong(options.song))
        std::fprintf(toStdout ? stderr : stdout, "title: %s\n", title.c_str());
    std::fprintf(toStdout ? stderr : stdout, "length: %lu ms\n", player->songlength(0));

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
    if (!written) {
        std::fprintf(stderr, "velkrender: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

// The whole song as a WAV file.
int renderWav(const Options &options)
{
    const AudioFormat &format = options.format;
    const std::unique_ptr<CEmuopl> chip = velk::makeOpl2Chip(format.rate, format.sixteenBit, format.stereo);
    std::string title, error;
    std::unique_ptr<CPlayer> player = loadSong(options, *chip, title, error);
    if (!player) {
        std::fprintf(stderr, "velkrender: %s: %s\n", options.song.c_str(), error.c_str());
        return 1;
    }
    if (isImsSong(options.song))
        std::printf("title: %s\n", title.c_str());
    const unsigned long lengthMs = player->songlength(0);
    std::printf("length: %lu ms\n", lengthMs);
    std::fflush(stdout);
    player->rewind(0);

    const std::string path = options.output.empty() ? outputBeside(options.song, ".wav") : options.output;
    velk::render::WavWriter wav;
    if (!wav.open(path, format)) {
        std::fprintf(stderr, "velkrender: cannot write %s\n", path.c_str());
        return 1;
    }
    const bool showProgress = stderrIsTerminal();
    std::uint64_t shownSecond = 0;
    auto progress = [&](std::uint64_t frames) {
        const std::uint64_t second = frames / static_cast<std::uint64_t>(format.rate);
        if (!showProgress || second == shownSecond)
            return;
        shownSecond = second;
        const double total = lengthMs / 1000.0;
        std::fprintf(stderr, "\rrendering %llu of %.0f s (%3.0f%%)", static_cast<unsigned long long>(second), total,
                     total > 0 ? 100.0 * static_cast<double>(second) / total : 100.0);
    };
    const std::uint64_t limit = std::min<std::uint64_t>(
        velk::render::maxWavDataBytes / static_cast<std::uint64_t>(format.bytesPerFrame()),
        static_cast<std::uint64_t>(maxSongMs / 1000.0 * format.rate));
    velk::render::renderSong(
        *player, *chip, format, [&](const std::uint8_t *data, std::size_t bytes) { wav.write(data, bytes); }, progress,
        limit);
    if (showProgress)
        std::fprintf(stderr, "\n");
    if (!wav.finish()) {
        std::fprintf(stderr, "velkrender: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
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
    return options.regs ? listRegisters(options) : renderWav(options);
}
