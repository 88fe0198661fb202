#include "tools/velkrender/options.h"

#include <cstdlib>

namespace velk::render {

const char usage[] =
    "usage: velkrender [OPTION]... SONG...\n"
    "  Renders each SONG (a ROL or IMS song) to an audio file, 16-bit stereo\n"
    "  44100 Hz unless told otherwise, or to a MIDI file: by default SONG with\n"
    "  the extension .wav, beside it. The output's extension chooses its\n"
    "  format: .wav, .flac (FLAC), .ogg (Ogg Vorbis), .mid (MIDI), .vgm or .vgz\n"
    "  (VGM); FLAC and Ogg are tagged with the song's title and ReplayGain.\n"
    "  Other extensions are refused.\n"
    "  One song: its title (IMS songs), its length and the files written are\n"
    "  shown. Several: a line for each and a summary; a song that fails does\n"
    "  not stop the others, and the exit status is 0 only when all were\n"
    "  written. A SONG with * or ? that names no file is matched in any case\n"
    "  (*.ims finds SONG.IMS).\n"
    "Output:\n"
    "  -o OUT          the output of the one song\n"
    "  --out-dir DIR   every output in DIR (made when missing) instead of beside\n"
    "                  its song\n"
    "  --format FMT    wav, flac, ogg, midi, vgm or vgz: the format of the outputs\n"
    "                  velkrender names (and of an OUT without extension)\n"
    "  --midi          the same as --format midi: a Standard MIDI File of the\n"
    "                  score, a tempo track and a track for each voice; the\n"
    "                  rhythm voices on channel 10 with General MIDI drum keys;\n"
    "                  the song's pitch events as bends\n"
    "  --format vgm    the chip's register writes as a VGM 1.71 file (also -o\n"
    "                  SONG.vgm; .vgz or --format vgz gzipped) for one YM3812,\n"
    "                  timed to the sample at 44100 Hz as the song plays with\n"
    "                  --tempo, --transpose, --mute, --solo, --gain and --pitch;\n"
    "                  its GD3 tag has the title, the lyric file's credits as\n"
    "                  the author, IMS or ROL as the system\n"
    "  --stems         instead of the whole song, a file for each voice that\n"
    "                  has notes, alone: \"SONG - 03 Voice 3 (PIANO1).wav\" (a\n"
    "                  voice that changes instrument names each, up to three:\n"
    "                  \"(PIANO1+STRINGS)\"); with Nuked they add up to the whole\n"
    "  --lrc           also write the song's lyrics (its lyric file, SONG.ISS\n"
    "                  beside it) as an enhanced LRC file beside the output, with\n"
    "                  the extension .lrc; with \"-o -\", only the LRC file, to\n"
    "                  standard output, and no audio\n"
    "  --regs          write the chip's register writes instead, one line each:\n"
    "                  tick (decimal, \"-\" for the rewind before tick 0), register\n"
    "                  and value (hex); by default to SONG with the extension\n"
    "                  .txt, \"-o -\" for standard output\n"
    "Loudness (ReplayGain 2.0, against -18 LUFS, measured with libebur128 by\n"
    "rendering each song once more, unheard):\n"
    "  FLAC and Ogg files are tagged REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK\n"
    "  (the true peak) and REPLAYGAIN_REFERENCE_LOUDNESS; several songs in one\n"
    "  run also get REPLAYGAIN_ALBUM_GAIN and REPLAYGAIN_ALBUM_PEAK over them all\n"
    "  --normalize     WAV files at -18 LUFS instead (WAV has no tags); a song\n"
    "                  whose peak would clip is raised only as far as its peak\n"
    "                  allows, and how far short of -18 LUFS it stays is said\n"
    "  --loudness      print each song's loudness, peaks and gain as a table\n"
    "                  (and the album's, for several) instead of writing files\n"
    "Sound:\n"
    "  --bank FILE     the instrument bank (else SONG's own .bnk, or standard.bnk\n"
    "                  beside it, each in any case)\n"
    "  --rate HZ       sample rate, 8000 to 192000\n"
    "  --mono          one channel\n"
    "  --8bit          8-bit unsigned samples\n"
    "  --emu NAME      the OPL2 emulator: nuked (Nuked OPL3, the chip's own sound\n"
    "                  and level; the default), satoh (AdPlug's CEmuopl: what the\n"
    "                  plug-in plays, about 6 dB hotter, often clipping), woody\n"
    "                  (DOSBox's) or ken (Ken Silverman's)\n"
    "  --pitch         bend notes by the songs' pitch events (the plug-in leaves\n"
    "                  them silent; a MIDI file always carries them)\n"
    "  --mute LIST     silence voices: LIST is comma separated voice numbers 1\n"
    "                  to 11, as velkplay shows them, or ranges such as 1-3;\n"
    "                  a percussive song's rhythm voices (7 to 11) also by name:\n"
    "                  bd (bass drum), sd (snare), tt (tom-tom), cy (cymbal),\n"
    "                  hh (hi-hat), or velkplay's keys b s t c h. Example:\n"
    "                  --mute 2,bd,hh\n"
    "  --solo LIST     only these voices sound (less any --mute)\n"
    "  --gain VOICE=DB a voice's own volume, 0 down to -47.25 dB in the chip's\n"
    "                  steps of 0.75 dB (through its operators' levels, exact on\n"
    "                  every emulator); VOICE as --mute takes them; repeatable:\n"
    "                  --gain 1=-6 --gain bd,sd=-3\n"
    "  --tempo X       X times as fast, 0.25 to 4, at the same pitch (lengths\n"
    "                  shown stay the song's own)\n"
    "  --transpose N   N semitones up, or down when negative, -12 to 12; the\n"
    "                  rhythm voices keep their pitch\n";

OutputFormat outputFormatOf(const Options &options, const std::string &output)
{
    if (options.format)
        return *options.format;
    return outputFormatOfExtension(lowerExtension(output)).value_or(OutputFormat::wav);
}

namespace {

// The combinations that cannot work; "" when there is none.
std::string conflict(const Options &o)
{
    if (o.songs.empty())
        return "no song given";
    if (!o.output.empty() && !o.outDir.empty())
        return "-o and --out-dir exclude each other";
    const bool midi = outputFormatOf(o, o.output) == OutputFormat::midi;
    if (o.regs) {
        if (o.emulatorChosen)
            return "--emu chooses what renders the sound; --regs renders none";
        if (o.lrc)
            return "--lrc goes with the audio; --regs renders none";
        if (o.format || o.stems)
            return "--regs writes text; it takes neither --format, --midi nor --stems";
        if (o.normalize || o.loudness)
            return "--regs lists register writes; --normalize and --loudness measure audio";
        if (o.controls.changesTheSound())
            return "--regs lists the song's own register writes; --mute, --solo, --gain, --tempo and --transpose "
                   "go through the library";
    }
    const OutputFormat format = outputFormatOf(o, o.output);
    const bool vgm = format == OutputFormat::vgm || format == OutputFormat::vgz;
    if (o.loudness) {
        if (!o.output.empty() || !o.outDir.empty() || o.stems || o.lrc || o.format || o.normalize)
            return "--loudness prints a table and writes no file: it takes no -o, --out-dir, --format, --midi, "
                   "--stems, --lrc or --normalize";
        return "";
    }
    if (vgm) {
        if (o.stems)
            return "--stems renders a file of audio for each voice; a VGM file holds the chip's writes of all voices "
                   "(mute or solo voices instead)";
        if (o.emulatorChosen)
            return "--emu chooses what renders the sound; a VGM file holds the chip's writes, which its player renders";
        if (o.rateChosen || !o.pcm.stereo || !o.pcm.sixteenBit)
            return "a VGM file holds no samples (its time counts in 44100ths of a second): --rate, --mono and "
                   "--8bit do not apply";
        if (o.normalize)
            return "--normalize goes with WAV files; a VGM file holds no audio";
    }
    if (o.normalize && (format != OutputFormat::wav || o.stems))
        return format == OutputFormat::wav
                   ? "--normalize goes with whole songs; stems keep the level they have in the whole"
                   : "--normalize goes with WAV files; FLAC and Ogg files carry ReplayGain tags instead, which "
                     "players apply";
    if (midi && o.emulatorChosen)
        return "--emu chooses what renders the sound; a MIDI file holds none";
    if (o.stems && midi)
        return "--stems renders audio; a MIDI file has a track for each voice already";
    if (o.stems && !o.output.empty())
        return "--stems writes a file for each voice: choose their folder with --out-dir, not -o";
    if (o.output == "-" && !o.regs && !o.lrc)
        return "an audio or MIDI file cannot go to standard output";
    if (!o.output.empty() && o.output != "-" && !o.regs) {
        const std::string extension = lowerExtension(o.output);
        const std::optional<OutputFormat> named = outputFormatOfExtension(extension);
        if (!extension.empty() && !named)
            return "cannot write " + o.output + ": velkrender writes " + writableExtensions + " files";
        if (named && o.format && *named != *o.format)
            return "-o " + o.output + " is no " + extensionOf(*o.format) + " file, which --format asks for";
    }
    return "";
}

} // namespace

Parsed parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        auto takeValue = [&]() {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        const bool needsValue = arg == "--bank" || arg == "-o" || arg == "--out-dir" || arg == "--rate" ||
                                arg == "--emu" || arg == "--format" || arg == "--mute" || arg == "--solo" ||
                                arg == "--tempo" || arg == "--transpose" || arg == "--gain";
        if (needsValue && !takeValue())
            return Parsed::wrong;
        if (arg == "--bank") {
            options.bank = value;
        } else if (arg == "-o") {
            options.output = value;
        } else if (arg == "--out-dir") {
            options.outDir = value;
        } else if (arg == "--rate") {
            char *end = nullptr;
            const long rate = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || rate < 8000 || rate > 192000) {
                error = "--rate must be 8000 to 192000, not " + value;
                return Parsed::wrong;
            }
            options.pcm.rate = static_cast<int>(rate);
            options.rateChosen = true;
        } else if (arg == "--mono") {
            options.pcm.stereo = false;
        } else if (arg == "--8bit") {
            options.pcm.sixteenBit = false;
        } else if (arg == "--emu") {
            const int emulator = velk_emulator_named(value.c_str());
            if (emulator <= VELK_EMULATOR_DEFAULT) {
                error = "unknown emulator " + value + " (satoh, nuked, woody or ken)";
                return Parsed::wrong;
            }
            options.emulator = static_cast<velk_emulator>(emulator);
            options.emulatorChosen = true;
        } else if (arg == "--format" || arg == "--midi") {
            const std::optional<OutputFormat> format =
                arg == "--midi" ? OutputFormat::midi : outputFormatNamed(value);
            if (!format) {
                error = "unknown format " + value + " (wav, flac, ogg, midi, vgm or vgz)";
                return Parsed::wrong;
            }
            if (options.format && *options.format != *format) {
                error = "two formats asked for: --format or --midi, once";
                return Parsed::wrong;
            }
            options.format = format;
        } else if (arg == "--mute" || arg == "--solo") {
            if (!addVoices(value, arg == "--mute" ? options.controls.muted : options.controls.soloed, error)) {
                error = arg + ": " + error;
                return Parsed::wrong;
            }
        } else if (arg == "--gain") {
            VoiceGain gain;
            if (!parseGain(value, gain, error))
                return Parsed::wrong;
            options.controls.gains.push_back(gain);
        } else if (arg == "--tempo") {
            if (!parseTempo(value, options.controls.tempo, error))
                return Parsed::wrong;
        } else if (arg == "--transpose") {
            if (!parseTranspose(value, options.controls.transpose, error))
                return Parsed::wrong;
        } else if (arg == "--pitch") {
            options.pitchBends = true;
        } else if (arg == "--regs") {
            options.regs = true;
        } else if (arg == "--lrc") {
            options.lrc = true;
        } else if (arg == "--stems") {
            options.stems = true;
        } else if (arg == "--normalize") {
            options.normalize = true;
        } else if (arg == "--loudness") {
            options.loudness = true;
        } else if (arg == "-h" || arg == "--help") {
            return Parsed::help;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return Parsed::wrong;
        } else {
            options.songs.push_back(arg);
        }
    }
    error = conflict(options);
    return error.empty() ? Parsed::run : Parsed::wrong;
}

} // namespace velk::render
