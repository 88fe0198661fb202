// velkrender with an IMS song: converted in process, its title shown as UTF-8
// before its length and written as a tag where the format has tags.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "common/bytes.h"
#include "tests/imsplayer/test_programs.h"
#include "tests/support/song_collections.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"
#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk {
namespace {

std::string bytesToString(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// tune.ims, titled "ga han tune" in Johab, with its bank tune.bnk, in `dir`.
void writeTune(const std::filesystem::path &dir)
{
    ims::SongSource song;
    song.title = "\x88\x61\xD0\x65 tune";  // Johab "ga han"
    song.rhythmMode = 0;
    song.basicTempo = 120;
    song.instruments = {"piano1"};
    song.events = {ims::instrument(0, 0), ims::noteOn(0, 60, 100).after(480), ims::noteOn(0, 60, 0).after(480)};
    test::writeFile((dir / "tune.ims").string(), bytesToString(ims::writeSong(song)));
    bank::BankInstrument piano;
    piano.name = "piano1";
    piano.modulator[bank::frequencyMultiplier] = 1;
    piano.carrier[bank::attackRate] = 15;
    test::writeFile((dir / "tune.bnk").string(), bytesToString(bank::writeBank({piano})));
}

TEST(VelkrenderIms, ConvertsTheSongAndShowsItsTitleBeforeItsLength)
{
    test::TempDir dir;
    writeTune(dir.path());

    const std::string out = (dir / "out.txt").string();
    const std::string command = "'" VELK_VELKRENDER "' '" + (dir / "tune.ims").string() + "' > '" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << test::readFile(out);

    const auto lines = test::readLines(out);
    ASSERT_EQ(lines.size(), 3u) << test::readFile(out);
    EXPECT_EQ(lines[0], "title: \xEA\xB0\x80\xED\x95\x9C tune");
    EXPECT_EQ(lines[1].rfind("length: ", 0), 0u);
    EXPECT_GT(std::atoi(lines[1].c_str() + 8), 0);
    EXPECT_EQ(lines[2], "written: " + (dir / "tune.wav").string());
    EXPECT_GT(test::readFile((dir / "tune.wav").string()).size(), 44u);
}

// All the frames of an audio file as libsndfile decodes them, and its title.
struct Decoded {
    std::vector<short> samples;
    int rate = 0, channels = 0;
    std::string title;
};

Decoded decode(const std::filesystem::path &path)
{
    Decoded decoded;
    SF_INFO info{};
    SNDFILE *file = sf_open(path.string().c_str(), SFM_READ, &info);
    if (!file)
        return decoded;
    decoded.rate = info.samplerate;
    decoded.channels = info.channels;
    decoded.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    decoded.samples.resize(static_cast<std::size_t>(sf_readf_short(file, decoded.samples.data(), info.frames)) *
                           info.channels);
    if (const char *title = sf_get_string(file, SF_STR_TITLE))
        decoded.title = title;
    sf_close(file);
    return decoded;
}

// The output's extension chooses its format: FLAC holds exactly the WAV's
// samples, Ogg Vorbis about the same sound; both carry the title in UTF-8.
// --out-dir makes its folder.
TEST(VelkrenderIms, WritesFlacAndOggWithTheTitleIntoAFolderItMakes)
{
    test::TempDir dir;
    writeTune(dir.path());

    const std::string out = (dir / "out.txt").string();
    auto render = [&](const std::string &arguments) {
        const std::string command = "'" VELK_VELKRENDER "' " + arguments + " '" + (dir / "tune.ims").string() +
                                    "' > '" + out + "' 2>&1";
        return std::system(command.c_str());
    };
    const std::filesystem::path made = dir / "new" / "folder";
    ASSERT_EQ(render("--out-dir '" + made.string() + "'"), 0) << test::readFile(out);
    ASSERT_EQ(render("-o '" + (dir / "tune.flac").string() + "'"), 0) << test::readFile(out);
    ASSERT_EQ(render("-o '" + (dir / "tune.ogg").string() + "'"), 0) << test::readFile(out);

    const Decoded wav = decode(made / "tune.wav");
    const Decoded flac = decode(dir / "tune.flac");
    const Decoded ogg = decode(dir / "tune.ogg");
    ASSERT_EQ(wav.channels, 2);
    ASSERT_GT(wav.samples.size(), 44100u);
    EXPECT_EQ(wav.title, "") << "WAV files stay plain PCM";
    EXPECT_TRUE(flac.samples == wav.samples) << "FLAC decodes to the WAV's samples";
    EXPECT_EQ(flac.title, "\xEA\xB0\x80\xED\x95\x9C tune");
    EXPECT_EQ(ogg.title, "\xEA\xB0\x80\xED\x95\x9C tune");
    EXPECT_EQ(ogg.rate, 44100);
    EXPECT_NEAR(static_cast<double>(ogg.samples.size()), static_cast<double>(wav.samples.size()), 4096.0);
}

TEST(VelkrenderIms, ASongTheConverterRejectsIsReportedWithItsReason)
{
    test::TempDir dir;
    ims::SongSource bad;
    bad.events = {ims::raw({0x9B, 60, 100, 0})};  // voice 11
    test::writeFile((dir / "bad.IMS").string(), bytesToString(ims::writeSong(bad)));
    const std::string out = (dir / "out.txt").string();
    const std::string command = "'" VELK_VELKRENDER "' '" + (dir / "bad.IMS").string() + "' > '" + out + "' 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    const std::string text = test::readFile(out);
    EXPECT_NE(text.find("velkrender: "), std::string::npos) << text;
    EXPECT_EQ(text.find("length:"), std::string::npos) << text;
}

// The loudest sample of a 16-bit WAV file: 0 when it is silent or missing.
int peak(const std::filesystem::path &wav)
{
    const std::string bytes = test::readFile(wav.string());
    int loudest = 0;
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2) {
        const auto low = static_cast<std::uint8_t>(bytes[at]), high = static_cast<std::uint8_t>(bytes[at + 1]);
        loudest = std::max(loudest, std::abs(static_cast<int>(static_cast<std::int16_t>(low | high << 8))));
    }
    return loudest;
}

int runVelkrender(const std::string &arguments, const test::TempDir &dir)
{
    const std::string command = "cd '" + dir.path().string() + "' && '" VELK_VELKRENDER "' " + arguments +
                                " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Four folders as DOS collections are, rendered in one run: the song's own
// bank in capitals, only STANDARD.BNK, the song's bank beside a standard.bnk
// without its instrument (the song's bank must win, or the song is silent),
// and no bank at all, which fails alone, naming the banks looked for.
TEST(VelkrenderIms, RendersDosCollectionsAndGoesOnPastASongThatFails)
{
    test::TempDir dir;
    for (const char *folder : {"own", "standard", "both", "none", "silent", "out"})
        std::filesystem::create_directory(dir / folder);
    test::writeFile((dir / "own" / "SONG.IMS").string(), bytesToString(test::shortImsSong("OWN")));
    test::writeFile((dir / "own" / "SONG.BNK").string(), bytesToString(test::soundingBank()));
    test::writeFile((dir / "standard" / "TUNE.IMS").string(), bytesToString(test::shortImsSong("STANDARD", 4)));
    test::writeFile((dir / "standard" / "STANDARD.BNK").string(), bytesToString(test::soundingBank()));
    test::writeFile((dir / "both" / "MUSIC.IMS").string(), bytesToString(test::shortImsSong("BOTH")));
    test::writeFile((dir / "both" / "MUSIC.BNK").string(), bytesToString(test::soundingBank()));
    test::writeFile((dir / "both" / "standard.bnk").string(), bytesToString(test::emptyBank()));
    test::writeFile((dir / "none" / "LOST.IMS").string(), bytesToString(test::shortImsSong("LOST")));
    test::writeFile((dir / "silent" / "QUIET.IMS").string(), bytesToString(test::shortImsSong("QUIET")));
    test::writeFile((dir / "silent" / "STANDARD.BNK").string(), bytesToString(test::emptyBank()));

    // A quoted pattern reaches the program as it is and is matched in any case.
    ASSERT_EQ(runVelkrender("'own/*.ims' standard/TUNE.IMS none/LOST.IMS both/MUSIC.IMS silent/QUIET.IMS", dir), 1)
        << test::readFile((dir / "err.txt").string());
    EXPECT_EQ(test::readLines((dir / "out.txt").string()),
              (std::vector<std::string>{"own/SONG.IMS: \"OWN\", 1000 ms -> own/SONG.wav",
                                        "standard/TUNE.IMS: \"STANDARD\", 2000 ms -> standard/TUNE.wav",
                                        "both/MUSIC.IMS: \"BOTH\", 1000 ms -> both/MUSIC.wav",
                                        "silent/QUIET.IMS: \"QUIET\", 1000 ms -> silent/QUIET.wav",
                                        "4 of 5 songs written, 1 failed"}));
    EXPECT_EQ(test::readFile((dir / "err.txt").string()),
              "velkrender: none/LOST.IMS: no instrument bank: looked for none/LOST.bnk and none/standard.bnk, "
              "each in any case\n");
    EXPECT_GT(peak(dir / "own" / "SONG.wav"), 1000);
    EXPECT_GT(peak(dir / "standard" / "TUNE.wav"), 1000);
    EXPECT_GT(peak(dir / "both" / "MUSIC.wav"), 1000) << "played with standard.bnk";
    EXPECT_LT(peak(dir / "silent" / "QUIET.wav"), 100) << "the bank without instruments is silent";
    EXPECT_FALSE(std::filesystem::exists(dir / "none" / "LOST.wav"));

    // All into one folder; every song written makes the run a success.
    ASSERT_EQ(runVelkrender("--out-dir out own/SONG.IMS standard/TUNE.IMS", dir), 0)
        << test::readFile((dir / "err.txt").string());
    EXPECT_EQ(test::readLines((dir / "out.txt").string()).back(), "2 of 2 songs written");
    EXPECT_EQ(test::readFile((dir / "out" / "SONG.wav").string()), test::readFile((dir / "own" / "SONG.wav").string()));
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "TUNE.wav"));

    // --format chooses the batch's format: FLAC that decodes to the WAVs.
    ASSERT_EQ(runVelkrender("--format flac --out-dir out own/SONG.IMS standard/TUNE.IMS", dir), 0)
        << test::readFile((dir / "err.txt").string());
    EXPECT_EQ(test::readLines((dir / "out.txt").string())[0], "own/SONG.IMS: \"OWN\", 1000 ms -> out/SONG.flac");
    for (const char *name : {"SONG", "TUNE"}) {
        const Decoded flac = decode(dir / "out" / (std::string(name) + ".flac"));
        EXPECT_GT(flac.samples.size(), 44100u) << name;
        EXPECT_TRUE(flac.samples == decode(dir / "out" / (std::string(name) + ".wav")).samples) << name;
    }

    // Two songs of one name would share an output: the second is refused.
    test::writeFile((dir / "both" / "SONG.IMS").string(), bytesToString(test::shortImsSong("AGAIN")));
    EXPECT_EQ(runVelkrender("--out-dir out own/SONG.IMS both/SONG.IMS 'none/*.xyz'", dir), 1);
    EXPECT_EQ(test::readLines((dir / "out.txt").string()).back(), "1 of 3 songs written, 2 failed");
    const std::string errors = test::readFile((dir / "err.txt").string());
    EXPECT_NE(errors.find("both/SONG.IMS: out/SONG.wav is the output of an earlier song"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("none/*.xyz: no file matches"), std::string::npos) << errors;

    // One song alone fails the same way, with -o or without.
    EXPECT_EQ(runVelkrender("none/LOST.IMS", dir), 1);
    EXPECT_NE(test::readFile((dir / "err.txt").string()).find("looked for none/LOST.bnk and none/standard.bnk"),
              std::string::npos);
    EXPECT_EQ(runVelkrender("-o x.wav own/SONG.IMS standard/TUNE.IMS", dir), 2);
}

// The stems of a real song laid out as its collection has it (DOS names,
// the shared STANDARD.BNK beside it): one for each voice, named after it and
// its instruments, each as long as the whole render, and with Nuked they add
// up to it within a step of the last bit for each stem. At four times the
// tempo: every note of the song, in a quarter of the twelve renders.
TEST(VelkrenderIms, TheStemsOfARealSongAddUpToTheWholeRender)
{
    VELK_REQUIRE_REAL_SONG(song, "AMG0018.IMS");
    test::TempDir dir;
    ASSERT_EQ(runVelkrender("--tempo 4 --stems --out-dir stems '" + song.string() + "'", dir), 0)
        << test::readFile((dir / "err.txt").string());
    const std::string said = test::readFile((dir / "out.txt").string());
    ASSERT_EQ(runVelkrender("--tempo 4 -o whole.wav '" + song.string() + "'", dir), 0);
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir / "stems"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 11u) << "every voice of the song plays";
    EXPECT_EQ(names[0].rfind("AMG0018 - 01 Voice 1 (", 0), 0u) << names[0];
    EXPECT_EQ(names[6].rfind("AMG0018 - 07 Bass drum (", 0), 0u) << names[6];
    EXPECT_NE(said.find("written: stems/" + names[10] + "\n"), std::string::npos) << said;

    const Decoded whole = decode(dir / "whole.wav");
    ASSERT_GT(whole.samples.size(), 20u * 44100 * 2);
    std::vector<long> sum(whole.samples.size());
    for (const std::string &name : names) {
        const Decoded stem = decode(dir / "stems" / name);
        ASSERT_EQ(stem.samples.size(), whole.samples.size()) << name;
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += stem.samples[i];
    }
    long largest = 0, loudest = 0;
    for (std::size_t i = 0; i < sum.size(); ++i) {
        largest = std::max(largest, std::abs(sum[i] - whole.samples[i]));
        loudest = std::max(loudest, std::abs(static_cast<long>(whole.samples[i])));
    }
    EXPECT_GT(loudest, 10000);
    EXPECT_LE(largest, static_cast<long>(names.size())) << "the largest difference, in steps";
    std::printf("stems against the whole render: largest difference %ld steps\n", largest);
}

} // namespace
} // namespace velk
