// velkrender as a user runs it, and the render loop under it.
#include <gtest/gtest.h>

#include <emuopl.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "converter/conversion.h"
#include "rol/opl2_chip.h"
#include "tests/rol/song_building.h"
#include "tests/support/demo_song.h"
#include "tests/support/files.h"
#include "tests/support/listening.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"
#include "tools/bankmaker/bank_text.h"
#include "tools/velkrender/render_loop.h"

namespace velk::test {
namespace {

// Root mean square of 16-bit samples.
double loudness(const Bytes &pcm)
{
    double sum = 0;
    const std::size_t samples = pcm.size() / 2;
    for (std::size_t i = 0; i < samples; ++i) {
        const double s = static_cast<std::int16_t>(getU16(&pcm[2 * i]));
        sum += s * s;
    }
    return samples ? std::sqrt(sum / static_cast<double>(samples)) : 0.0;
}

rol::Song shortSong()
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 4}, {64, 4}});
    song.voices[0].timbres = {timbreAt(0, "piano1")};
    return song;
}

// A bank with one instrument that sounds.
Bytes soundBank()
{
    const bank::ParsedBank parsed = bank::parseBankText(
        "instrument piano1\n"
        "  modulator multiplier=1 level=30 attack=15 decay=4 sustain=4 release=5 feedback=3 fm=1\n"
        "  carrier   multiplier=1 attack=15 decay=2 sustain=3 release=5 sustaining=1\n");
    return bank::writeBank(parsed.instruments);
}

TEST(RenderLoop, RendersTheFramesOfEveryTickBeforeTheEnd)
{
    rol::Song song = shortSong();
    song.tempo = {{4, 2.0f}};
    const std::unique_ptr<CEmuopl> ownChip = makeOpl2Chip(44100, true, true);
    CEmuopl &chip = *ownChip;
    MemoryFiles files;
    files.add("song.rol", rol::writeSong(song));
    files.add("song.bnk", soundBank());
    RolPlayer player(&chip);
    binistream *stream = files.open("song.rol");
    ASSERT_TRUE(player.loadSong(*stream, "song.bnk", files));
    files.close(stream);

    Bytes pcm;
    std::uint64_t reported = 0;
    const std::uint64_t frames = render::renderSong(
        player, chip, render::AudioFormat{},
        [&](const std::uint8_t *data, std::size_t bytes) { pcm.insert(pcm.end(), data, data + bytes); },
        [&](std::uint64_t f) { reported = f; });
    // Four ticks at 8 Hz and four at 16 Hz: 0.75 s.
    EXPECT_EQ(frames, 33075u);
    EXPECT_EQ(reported, frames);
    EXPECT_EQ(pcm.size(), frames * 4);
    EXPECT_GT(loudness(pcm), 300.0);

    player.rewind(0);
    EXPECT_EQ(render::renderSong(player, chip, render::AudioFormat{22050, false, false},
                                 [](const std::uint8_t *, std::size_t) {}, {}, 1000),
              1000u)
        << "the frame limit holds";
}

// `rol` with the bank `bank`, rendered in process on the chip the plug-in
// and velkrender play on.
Pcm renderOnTheChip(const Bytes &rol, const Bytes &bank, const render::AudioFormat &format)
{
    MemoryFiles files;
    files.add("song.rol", rol);
    files.add("song.bnk", bank);
    const std::unique_ptr<CEmuopl> chip = makeOpl2Chip(format.rate, format.sixteenBit, format.stereo);
    RolPlayer player(chip.get());
    binistream *stream = files.open("song.rol");
    const bool loaded = player.loadSong(*stream, "song.bnk", files);
    files.close(stream);
    Pcm pcm;
    if (!loaded)
        return pcm;
    // CEmuopl's rhythm section draws its noise from rand(): every render
    // starts it alike, as a fresh process does.
    std::srand(1);
    pcm = Pcm{format.rate, format.stereo ? 2 : 1, format.sixteenBit ? 16 : 8, {}};
    render::renderSong(player, *chip, format, [&](const std::uint8_t *data, std::size_t bytes) {
        pcm.data.insert(pcm.data.end(), data, data + bytes);
    });
    return pcm;
}

// The IMS song `ims` converted, in the four formats: one chip on both
// speakers, mono at the level of either, 8-bit the same signal.
void expectHeardAsOneChip(const Bytes &ims, const Bytes &bank, int rate)
{
    const converter::ConversionResult converted = converter::convertImsToRol(ims);
    ASSERT_TRUE(converted.converted()) << converted.reason;
    const Pcm stereo = renderOnTheChip(converted.rol, bank, {rate, true, true});
    ASSERT_EQ(stereo.channels, 2) << "the song loads";
    EXPECT_TRUE(onBothSpeakers(stereo));
    EXPECT_TRUE(sameSignal(renderOnTheChip(converted.rol, bank, {rate, false, true}), stereo)) << "16-bit mono";
    EXPECT_TRUE(sameSignal(renderOnTheChip(converted.rol, bank, {rate, true, false}), stereo)) << "8-bit stereo";
    EXPECT_TRUE(sameSignal(renderOnTheChip(converted.rol, bank, {rate, false, false}), stereo)) << "8-bit mono";
}

TEST(OneChip, TheDemoSongFillsEveryChannelAtFullLevelInEveryFormat)
{
    TempDir dir;
    ASSERT_TRUE(writeDemoSong(dir.path()));
    expectHeardAsOneChip(readFile(dir / "demo.ims"), readFile(dir / "demo.bnk"), 44100);
}

TEST(OneChip, TheRealSongFillsEveryChannelAtFullLevelInEveryFormat)
{
    VELK_REQUIRE_REAL_SONG(ims, "go-_-go.ims");
    VELK_REQUIRE_REAL_SONG(bnk, "go-_-go.bnk");
    expectHeardAsOneChip(readFile(ims), readFile(bnk), 22050);
}

#ifdef VELK_VELKRENDER
int run(const std::string &arguments, const TempDir &dir)
{
    const std::string command = std::string("\"") + VELK_VELKRENDER + "\" " + arguments + " > \"" +
                                (dir / "stdout.txt").string() + "\" 2> \"" + (dir / "stderr.txt").string() + "\"";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Velkrender, WritesAWavFileAndTheLength)
{
    TempDir dir;
    writeFile(dir / "tune.rol", rol::writeSong(shortSong()));
    writeFile(dir / "standard.bnk", soundBank());
    ASSERT_EQ(run("\"" + (dir / "tune.rol").string() + "\"", dir), 0) << readText(dir / "stderr.txt");
    EXPECT_EQ(readText(dir / "stdout.txt"), "length: 1000 ms\nwritten: " + (dir / "tune.wav").string() + "\n");
    EXPECT_EQ(readText(dir / "stderr.txt"), "") << "no progress line when not on a terminal";

    const Bytes wav = readFile(dir / "tune.wav");
    ASSERT_EQ(wav.size(), 44u + 44100u * 4u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(getU32(&wav[4]), wav.size() - 8);
    EXPECT_EQ(getU16(&wav[22]), 2u);  // channels
    EXPECT_EQ(getU32(&wav[24]), 44100u);
    EXPECT_EQ(getU16(&wav[34]), 16u);
    EXPECT_EQ(getU32(&wav[40]), 44100u * 4u);
    EXPECT_GT(loudness(Bytes(wav.begin() + 44, wav.end())), 300.0);

    ASSERT_EQ(run("--mono --8bit --rate 11025 -o \"" + (dir / "small.wav").string() + "\" \"" +
                      (dir / "tune.rol").string() + "\"",
                  dir),
              0);
    const Bytes small = readFile(dir / "small.wav");
    ASSERT_EQ(small.size(), 44u + 11025u + 1u) << "an odd data chunk is padded";
    EXPECT_EQ(getU32(&small[4]), small.size() - 8);
    EXPECT_EQ(getU32(&small[40]), 11025u);
    EXPECT_EQ(getU16(&small[22]), 1u);
    EXPECT_EQ(getU16(&small[34]), 8u);
    double mean = 0;
    for (std::size_t i = 44; i < 44 + 11025; ++i)
        mean += small[i];
    EXPECT_NEAR(mean / 11025, 128.0, 4.0) << "8-bit samples are unsigned, around 80h";
}

// `song` rendered by velkrender (with `options`) in the four formats: one
// chip on both speakers, mono at the level of either, 8-bit the same signal.
void expectVelkrenderHearsOneChip(const std::filesystem::path &song, const std::string &options, const TempDir &dir)
{
    auto render = [&](const std::string &format) {
        const std::filesystem::path out = dir / "out.wav";
        std::filesystem::remove(out);
        EXPECT_EQ(run(options + " " + format + " -o \"" + out.string() + "\" \"" + song.string() + "\"", dir), 0)
            << readText(dir / "stderr.txt");
        return readWav(out);
    };
    const Pcm stereo = render("");
    EXPECT_EQ(stereo.bits, 16);
    EXPECT_TRUE(onBothSpeakers(stereo)) << options;
    EXPECT_TRUE(sameSignal(render("--mono"), stereo)) << options << " --mono";
    EXPECT_TRUE(sameSignal(render("--8bit"), stereo)) << options << " --8bit";
    EXPECT_TRUE(sameSignal(render("--mono --8bit"), stereo)) << options << " --mono --8bit";
}

TEST(Velkrender, TheDemoSongFillsEveryChannelAtFullLevelInEveryFormat)
{
    TempDir dir;
    ASSERT_TRUE(writeDemoSong(dir.path()));
    expectVelkrenderHearsOneChip(dir / "demo.ims", "", dir);
}

TEST(Velkrender, TheRealSongFillsEveryChannelAtFullLevelInEveryFormat)
{
    VELK_REQUIRE_REAL_SONG(ims, "go-_-go.ims");
    TempDir dir;
    expectVelkrenderHearsOneChip(ims, "--rate 22050", dir);
}

TEST(Velkrender, EveryEmulatorPlaysOneChipOnBothSpeakersInEveryFormat)
{
    TempDir dir;
    ASSERT_TRUE(writeDemoSong(dir.path()));
    for (const char *emulator : {"satoh", "nuked", "woody", "ken"}) {
        SCOPED_TRACE(emulator);
        expectVelkrenderHearsOneChip(dir / "demo.ims", std::string("--emu ") + emulator, dir);
    }
}

TEST(Velkrender, PitchBendsChangeOnlyTheFrequenciesOfTheRealSong)
{
    VELK_REQUIRE_REAL_SONG(ims, "go-_-go.ims");
    TempDir dir;
    const std::string song = " \"" + ims.string() + "\"";
    ASSERT_EQ(run("--regs -o \"" + (dir / "plain.txt").string() + "\"" + song, dir), 0);
    ASSERT_EQ(run("--pitch --regs -o \"" + (dir / "bent.txt").string() + "\"" + song, dir), 0);
    // Lines "tick register value": bends add and change writes of A0h..B8h.
    auto others = [](const std::string &text) {
        std::istringstream in(text);
        std::string line, kept;
        int frequencyWrites = 0;
        while (std::getline(in, line)) {
            const std::size_t reg = line.find(' ') + 1;
            if (line[reg] == 'A' || (line[reg] == 'B' && line[reg + 1] != 'D'))
                ++frequencyWrites;
            else
                kept += line + "\n";
        }
        return std::make_pair(kept, frequencyWrites);
    };
    const auto plain = others(readText(dir / "plain.txt"));
    const auto bent = others(readText(dir / "bent.txt"));
    EXPECT_EQ(bent.first, plain.first);
    EXPECT_GT(bent.second, plain.second + 1000) << "the song bends its notes a great deal";
    expectVelkrenderHearsOneChip(ims, "--rate 11025 --pitch", dir);
}

TEST(Velkrender, RefusesAnUnknownEmulatorAndAnEmulatorForRegisterLists)
{
    TempDir dir;
    writeFile(dir / "tune.rol", rol::writeSong(shortSong()));
    writeFile(dir / "standard.bnk", soundBank());
    const std::string song = " \"" + (dir / "tune.rol").string() + "\"";
    EXPECT_EQ(run("--emu opl3" + song, dir), 2);
    EXPECT_NE(readText(dir / "stderr.txt").find("unknown emulator opl3 (satoh, nuked, woody or ken)"),
              std::string::npos)
        << readText(dir / "stderr.txt");
    EXPECT_EQ(run("--emu" + song, dir), 2) << "the song is no emulator's name";
    EXPECT_EQ(run("--regs --emu nuked" + song, dir), 2);
    EXPECT_NE(readText(dir / "stderr.txt").find("--regs renders none"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "tune.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "tune.txt"));
    // Bends change register writes, so --pitch lists them.
    EXPECT_EQ(run("--regs --pitch" + song, dir), 0) << readText(dir / "stderr.txt");
    // A song whose output would be itself is left whole.
    std::filesystem::copy_file(dir / "tune.rol", dir / "tune.txt",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(run("--regs \"" + (dir / "tune.txt").string() + "\"", dir), 1);
    EXPECT_TRUE(readFile(dir / "tune.txt") == readFile(dir / "tune.rol"));
}

TEST(Velkrender, ListsRegisterWritesByTick)
{
    TempDir dir;
    writeFile(dir / "tune.rol", rol::writeSong(shortSong()));
    writeFile(dir / "mine.bnk", soundBank());
    ASSERT_EQ(run("--regs --bank \"" + (dir / "mine.bnk").string() + "\" \"" + (dir / "tune.rol").string() + "\"",
                  dir),
              0)
        << readText(dir / "stderr.txt");
    const std::string regs = readText(dir / "tune.txt");
    EXPECT_EQ(regs.substr(0, 8), "- 01 20\n") << "the rewind before tick 0";
    EXPECT_NE(regs.find("\n0 B0 00\n0 A0 54\n0 B0 31\n"), std::string::npos) << regs;
    EXPECT_NE(regs.find("\n4 B0 11\n4 A0 B0\n4 B0 31\n8 B0 11\n"), std::string::npos) << regs;
    EXPECT_EQ(regs.substr(regs.size() - 8), "8 B0 11\n");
}

TEST(Velkrender, SaysWhatIsWrong)
{
    TempDir dir;
    writeFile(dir / "tune.rol", rol::writeSong(shortSong()));
    EXPECT_EQ(run("\"" + (dir / "tune.rol").string() + "\"", dir), 1);
    EXPECT_NE(readText(dir / "stderr.txt")
                  .find("no instrument bank: looked for " + (dir / "tune.bnk").string() + " and " +
                        (dir / "standard.bnk").string() + ", each in any case"),
              std::string::npos)
        << readText(dir / "stderr.txt");
    EXPECT_EQ(run("--bank \"" + (dir / "absent.bnk").string() + "\" \"" + (dir / "tune.rol").string() + "\"", dir), 1);
    EXPECT_NE(readText(dir / "stderr.txt").find("the instrument bank " + (dir / "absent.bnk").string() + " cannot be opened"),
              std::string::npos)
        << readText(dir / "stderr.txt");
    EXPECT_EQ(run("--rate 5 x.rol", dir), 2);
    EXPECT_NE(readText(dir / "stderr.txt").find("--rate must be 8000 to 192000"), std::string::npos);
    EXPECT_EQ(run("", dir), 2);
    // A wrong command line says what is wrong and where help is, not the
    // whole help.
    EXPECT_EQ(run("-o \"" + (dir / "x.mp3").string() + "\" \"" + (dir / "tune.rol").string() + "\"", dir), 2);
    EXPECT_EQ(readText(dir / "stderr.txt"), "velkrender: cannot write " + (dir / "x.mp3").string() +
                                                ": velkrender writes .wav, .flac, .ogg, .mid, .vgm or .vgz files\n"
                                                "Try 'velkrender --help' for more information.\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.mp3"));
    EXPECT_EQ(run("--mute 12 x.rol", dir), 2);
    EXPECT_NE(readText(dir / "stderr.txt").find("no voice \"12\""), std::string::npos) << readText(dir / "stderr.txt");
    EXPECT_EQ(run("--help", dir), 0);
    EXPECT_NE(readText(dir / "stdout.txt").find("usage: velkrender"), std::string::npos);
}

// The listener's controls reach the song: a solo is every other voice
// muted, named by number or by the rhythm voice's name; tempo 2 is half the
// audio; a voice the song lacks is named and left alone.
TEST(Velkrender, MutesSolosAndChangesTheTempo)
{
    TempDir dir;
    ASSERT_TRUE(writeDemoSong(dir.path()));
    const std::string song = " \"" + (dir / "demo.ims").string() + "\"";
    auto render = [&](const std::string &options, const char *name) {
        EXPECT_EQ(run(options + " --rate 11025 -o \"" + (dir / name).string() + "\"" + song, dir), 0)
            << readText(dir / "stderr.txt");
        return readWav(dir / name);
    };
    const Pcm whole = render("", "whole.wav");
    const Pcm solo = render("--solo 1,bd", "solo.wav");
    const Pcm muted = render("--mute 2-6,sd,t,cymbal,HH", "muted.wav");
    EXPECT_TRUE(solo.data == muted.data);
    EXPECT_FALSE(solo.data == whole.data);
    EXPECT_GT(rmsOf(channelOf(solo, 0)), 100.0);
    EXPECT_LT(rmsOf(channelOf(render("--solo 1 --mute 1", "none.wav"), 0)), 1.0);
    const Pcm fast = render("--tempo 2", "fast.wav");
    EXPECT_NEAR(static_cast<double>(fast.data.size()) / static_cast<double>(whole.data.size()), 0.5, 0.005);

    writeFile(dir / "tune.rol", rol::writeSong(shortSong()));
    writeFile(dir / "standard.bnk", soundBank());
    EXPECT_EQ(run("--solo 1,hh \"" + (dir / "tune.rol").string() + "\"", dir), 0);
    EXPECT_NE(readText(dir / "stderr.txt").find("the song has no voice hh (it has 9)"), std::string::npos)
        << readText(dir / "stderr.txt");
}

TEST(Velkrender, RendersTheRealSong)
{
    VELK_REQUIRE_REAL_SONG(ims, "go-_-go.ims");
    VELK_REQUIRE_REAL_SONG(bnk, "go-_-go.bnk");
    const converter::ConversionResult converted = converter::convertImsToRol(readFile(ims));
    ASSERT_TRUE(converted.converted()) << converted.reason;
    TempDir dir;
    writeFile(dir / "go.rol", converted.rol);
    writeFile(dir / "go.bnk", readFile(bnk));
    ASSERT_EQ(run("\"" + (dir / "go.rol").string() + "\"", dir), 0) << readText(dir / "stderr.txt");
    const std::string out = readText(dir / "stdout.txt");
    ASSERT_EQ(out.substr(0, 8), "length: ");
    const long ms = std::stol(out.substr(8));
    EXPECT_NEAR(ms, 220000, 1000);
    const Bytes wav = readFile(dir / "go.wav");
    EXPECT_NEAR(static_cast<double>(wav.size() - 44) / (44100.0 * 4.0), ms / 1000.0, 0.05);
    EXPECT_GT(loudness(Bytes(wav.begin() + 44, wav.end())), 1000.0) << "not silent";
}
#endif

} // namespace
} // namespace velk::test
