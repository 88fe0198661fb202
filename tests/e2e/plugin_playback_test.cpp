// The plug-in as the player meets it: loaded from its file (the DLL under
// Wine, the module natively), given a host, and made to play a real song
// through the whole chain, to seek, pause and stop, and to fail cleanly.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/bytes.h"
#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/host_output.h"
#include "host/playback_session.h"
#include "host/plugin_library.h"
#include "imsplayer/title_decoding.h"
#include "tests/e2e/process_census.h"
#include "tests/support/demo_song.h"
#include "tests/support/files.h"
#include "tests/support/listening.h"
#include "tests/support/song_collections.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace velk::host;
using velk::test::readFile;
using velk::test::TempDir;
using velk::test::writeFile;

struct Wav {
    int sampleRate = 0, channels = 0, bits = 0;
    std::vector<std::int16_t> samples;
    double ms() const { return sampleRate ? samples.size() / channels * 1000.0 / sampleRate : 0; }
};

Wav readWav(const std::filesystem::path &path)
{
    const auto bytes = readFile(path);
    Wav wav;
    if (bytes.size() < 44 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF")
        return wav;
    wav.channels = velk::getU16(&bytes[22]);
    wav.sampleRate = static_cast<int>(velk::getU32(&bytes[24]));
    wav.bits = velk::getU16(&bytes[34]);
    const std::size_t data = std::min<std::size_t>(velk::getU32(&bytes[40]), bytes.size() - 44);
    for (std::size_t at = 44; at + 1 < 44 + data; at += 2)
        wav.samples.push_back(velk::getI16(&bytes[at]));
    return wav;
}

double rms(const std::vector<std::int16_t> &samples)
{
    double sum = 0;
    for (auto s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

// What the plug-in must show as the title: the song's own field, decoded.
std::string expectedTitle(const std::filesystem::path &song)
{
    const auto bytes = readFile(song);
    velk::TitleField field{};
    std::copy(bytes.begin() + 6, bytes.begin() + 36, field.begin());
    return velk::decodeTitle(field);
}

class PluginPlayback : public testing::Test {
protected:
    void SetUp() override
    {
        temp.becomeTemporaryDirectory();
        std::string error;
        library = PluginLibrary::load(VELK_PLUGIN_PATH, error);
        ASSERT_TRUE(library) << error;
        record = library->entry()();
        ASSERT_NE(record, nullptr);
        useOutput("");
        fillHostMembers(*record, receiver.window(), library->instance());
        record->Init();
    }

    void TearDown() override
    {
        if (!record)
            return;
        record->Quit();
        EXPECT_TRUE(workspace().empty()) << "Quit leaves the workspace empty";
    }

    void useOutput(const std::string &wavName)
    {
        OutputOptions options;
        if (!wavName.empty())
            options.wavPath = (temp / wavName).string();
        configureOutput(options);
        resetHostCounters();
    }

    // The files in the workspace: the temporary folder itself on Windows,
    // elsewhere the module's private folder in it (none once Quit removed it).
    std::vector<std::string> workspace() const
    {
#ifdef _WIN32
        const std::filesystem::path folder = temp.path();
#else
        const std::filesystem::path folder = temp / ("in_velk-" + std::to_string(geteuid()));
#endif
        std::vector<std::string> names;
        std::error_code missing;
        // Songs and their folders are the test's own.
        for (const auto &entry : std::filesystem::directory_iterator(folder, missing))
            if (!entry.is_directory() && entry.path().extension() != ".wav" && entry.path().extension() != ".bnk" &&
                entry.path().filename() != "bad.ims")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    SessionResult play(const std::filesystem::path &song, std::vector<ScriptStep> steps = {})
    {
        SessionOptions options;
        options.steps = std::move(steps);
        options.onStarted = [&](const std::string &, int) {
            workspaceWhilePlaying = workspace();
            if (whilePlaying)
                whilePlaying();
        };
        return playSong(*record, song.string(), receiver, options);
    }

    // Declared first, so the folder outlives the library loaded into it.
    TempDir temp;
    std::unique_ptr<PluginLibrary> library;
    In_Module *record = nullptr;
    EndOfSongReceiver receiver;
    std::vector<std::string> workspaceWhilePlaying;
    // Called while the song plays, once Play has succeeded.
    std::function<void()> whilePlaying;
    const std::vector<std::string> onlyTheConverter{"ruz2avu.exe"};
};

TEST_F(PluginPlayback, RealSongPlaysToItsEndThroughTheWholeChain)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    useOutput("song.wav");
    ASSERT_EQ(record->IsOurFile(song.string().c_str()), 1);

    const SessionResult result = play(song);
    ASSERT_EQ(result.playResult, 0);
    EXPECT_TRUE(result.endedBySong);
    EXPECT_EQ(result.endOfSongMessages, 1);
    EXPECT_EQ(result.otherMessages, 0);
    EXPECT_EQ(result.title, expectedTitle(song));
    EXPECT_FALSE(result.title.empty());
    EXPECT_EQ(result.lengthMs, record->GetLength());
    EXPECT_GT(result.lengthMs, 200000);  // about 220 s
    EXPECT_LT(result.lengthMs, 240000);
    EXPECT_EQ(workspaceWhilePlaying, onlyTheConverter);
    EXPECT_EQ(workspace(), onlyTheConverter);

    const OutputCounters out = outputCounters();
    EXPECT_EQ(out.opens, 1);
    EXPECT_EQ(out.closes, 1);
    EXPECT_EQ(out.flushes, 0);
    EXPECT_EQ(out.pauseCalls, 0);
    EXPECT_EQ(out.volumeCalls, 1);
    EXPECT_EQ(out.lastVolume, -666);
    EXPECT_EQ(out.sampleRate, 44100);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.bitsPerSample, 16);
    const HostCounters host = hostCounters();
    EXPECT_EQ(host.savsaInits, 1);
    EXPECT_EQ(host.savsaDeInits, 1);
    EXPECT_EQ(host.savsaSampleRate, 44100);
    EXPECT_EQ(host.setInfos, 1);
    EXPECT_EQ(std::vector<int>(host.setInfo, host.setInfo + 4), (std::vector<int>{120000, 44, 2, 1}));
    EXPECT_EQ(host.vsaSampleRate, 44100);
    EXPECT_EQ(host.vsaChannels, 2);
    EXPECT_EQ(host.dspFrames, 576);
    EXPECT_EQ(host.dspBlocks, out.writes);
    EXPECT_EQ(host.saBlocks, out.writes);
    EXPECT_EQ(host.vsaBlocks, out.writes);
    EXPECT_EQ(host.unexpectedCalls, 0);

    const Wav wav = readWav(temp / "song.wav");
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.bits, 16);
    // The last block is whole, so the audio may run a block past the length.
    EXPECT_NEAR(wav.ms(), result.lengthMs, 50);
    EXPECT_GT(rms(wav.samples), 300.0);
    // One OPL2 chip: the song on both speakers alike.
    EXPECT_TRUE(velk::test::onBothSpeakers(velk::test::readWav(temp / "song.wav")));
    // Music all through: no stretch of ten seconds is silent.
    const std::size_t window = 10 * 44100 * 2;
    for (std::size_t at = 0; at + window <= wav.samples.size(); at += window) {
        std::vector<std::int16_t> part(wav.samples.begin() + at, wav.samples.begin() + at + window);
        EXPECT_GT(rms(part), 30.0) << "silent from " << at / 2 / 44100 << " s";
    }
}

TEST_F(PluginPlayback, TheDemoSongPlaysOnBothSpeakers)
{
    velk::test::TempDir songs;
    ASSERT_TRUE(velk::test::writeDemoSong(songs.path()));
    useOutput("demo.wav");
    const SessionResult result = play(songs / "demo.ims");
    ASSERT_EQ(result.playResult, 0);
    EXPECT_TRUE(result.endedBySong);
    const velk::test::Pcm pcm = velk::test::readWav(temp / "demo.wav");
    EXPECT_EQ(pcm.bits, 16);
    EXPECT_NEAR(pcm.data.size() / 4 * 1000.0 / 44100, result.lengthMs, 50);
    EXPECT_TRUE(velk::test::onBothSpeakers(pcm));
}

TEST_F(PluginPlayback, SeekBackPauseAndSeekForwardMoveTheSongAndTheClock)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    useOutput("seek.wav");
    const int forward = 200000;
    const SessionResult result = play(song, {{ScriptStep::Kind::seek, 2000, 5000},
                                             {ScriptStep::Kind::pause, 300, 7000},
                                             {ScriptStep::Kind::seek, forward, 9000}});
    ASSERT_EQ(result.playResult, 0);
    ASSERT_EQ(result.stepsTaken, 3);
    EXPECT_TRUE(result.endedBySong);
    EXPECT_EQ(result.endOfSongMessages, 1);

    // A step's point is reached within a block (13 ms); a seek lands on the
    // first tick at or after its target (a tick is under 100 ms here).
    ASSERT_EQ(result.outputTimeAtStep.size(), 3u);
    EXPECT_NEAR(result.outputTimeAtStep[0], 5000, 20);
    EXPECT_GE(result.outputTimeAtStep[1], 2000 + 2000 - 20);  // went back, played 2 s
    EXPECT_LE(result.outputTimeAtStep[1], 2000 + 2000 + 120);
    // The pause flushed at the time being heard and moved nothing on.
    EXPECT_NEAR(result.outputTimeAtStep[2], result.outputTimeAtStep[1] + 2000, 20);
    EXPECT_EQ(result.pausedFlags, std::vector<int>{1});
    EXPECT_EQ(result.playedDuringPauseMs, std::vector<std::int64_t>{0});
    EXPECT_EQ(record->IsPaused(), 0);

    const OutputCounters out = outputCounters();
    EXPECT_EQ(out.flushes, 3);  // two seeks, one pause
    EXPECT_EQ(out.pauseCalls, 0);
    EXPECT_EQ(out.closes, 1);
    const Wav wav = readWav(temp / "seek.wav");
    EXPECT_NEAR(wav.ms(), 9000 + (result.lengthMs - forward), 150);
    EXPECT_GT(rms(wav.samples), 300.0);
}

TEST_F(PluginPlayback, StopMidSongEndsAtOnceAndClosesTheOutput)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    useOutput("stop.wav");
    const velk::test::ProcessCensus before = velk::test::takeProcessCensus();
    const SessionResult result = play(song, {{ScriptStep::Kind::stop, 0, 4000}});
    ASSERT_EQ(result.playResult, 0);
    EXPECT_TRUE(result.stoppedByScript);
    EXPECT_EQ(result.endOfSongMessages, 0);
    EXPECT_EQ(outputCounters().closes, 1);
    EXPECT_FALSE(outputIsOpen());
    EXPECT_EQ(workspace(), onlyTheConverter);
    // The block that crossed the stop point is the last one heard.
    EXPECT_GE(readWav(temp / "stop.wav").ms(), 4000);
    EXPECT_LT(readWav(temp / "stop.wav").ms(), 4000 + 14);
    EXPECT_EQ(velk::test::takeProcessCensus().threads, before.threads);
    // A second Stop finds nothing to stop.
    record->Stop();
    EXPECT_EQ(outputCounters().closes, 1);
}

TEST_F(PluginPlayback, RealTimeOutputKeepsThePaceAndPausesAsAsked)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    OutputOptions options;
    options.wavPath = (temp / "realtime.wav").string();
    options.realtime = true;
    options.bufferMs = 300;
    configureOutput(options);
    resetHostCounters();
    const auto start = std::chrono::steady_clock::now();
    const SessionResult result = play(song, {{ScriptStep::Kind::pause, 300, 500}, {ScriptStep::Kind::stop, 0, 1500}});
    const auto wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(result.playResult, 0);
    EXPECT_EQ(result.stepsTaken, 2);
    EXPECT_EQ(result.pausedFlags, std::vector<int>{1});
    EXPECT_EQ(result.playedDuringPauseMs, std::vector<std::int64_t>{0});
    // The audio is heard at its own pace, and the pause holds it.
    EXPECT_GE(wallMs, 1500 + 300);
    // The output's latency reaches the visualisation.
    EXPECT_EQ(hostCounters().savsaLatencyMs, 300);
    const double heard = readWav(temp / "realtime.wav").ms();
    EXPECT_GE(heard, 1500);
    EXPECT_LT(heard, 1500 + 14);
    EXPECT_FALSE(outputIsOpen());
}

TEST_F(PluginPlayback, ASongThatFailsToLoadMakesPlayReturnMinusOneAndLeavesNothing)
{
    std::ofstream(temp / "bad.ims", std::ios::binary) << std::string("\x01\0\0\0\0\0", 6) << "not a song at all";
    const velk::test::ProcessCensus before = velk::test::takeProcessCensus();
    const SessionResult result = play(temp / "bad.ims");
    EXPECT_EQ(result.playResult, -1);
    EXPECT_EQ(outputCounters().opens, 0);
    EXPECT_EQ(hostCounters().setInfos, 0);
    for (const std::string &name : workspace())
        EXPECT_EQ(name, "ruz2avu.exe") << "left behind";
    EXPECT_EQ(velk::test::takeProcessCensus().threads, before.threads);

    EXPECT_EQ(play(temp / "missing.ims").playResult, -1);
    for (const std::string &name : workspace())
        EXPECT_EQ(name, "ruz2avu.exe") << "left behind";
}

// Folders as DOS collections are: the song's bank or STANDARD.BNK in
// capitals is found on any file system; without a bank Play fails and
// leaves nothing behind.
TEST_F(PluginPlayback, DosCollectionsPlayWithTheirBanks)
{
    const auto songs = temp / "songs";
    for (const char *folder : {"own", "standard", "both", "none"})
        std::filesystem::create_directories(songs / folder);
    writeFile(songs / "own" / "SONG.IMS", velk::test::shortImsSong("OWN"));
    writeFile(songs / "own" / "SONG.BNK", velk::test::soundingBank());
    writeFile(songs / "standard" / "TUNE.IMS", velk::test::shortImsSong("STANDARD"));
    writeFile(songs / "standard" / "STANDARD.BNK", velk::test::soundingBank());
    writeFile(songs / "both" / "MUSIC.IMS", velk::test::shortImsSong("BOTH"));
    writeFile(songs / "both" / "MUSIC.BNK", velk::test::soundingBank());
    writeFile(songs / "both" / "standard.bnk", velk::test::emptyBank());  // silent: the song's bank must win
    writeFile(songs / "none" / "LOST.IMS", velk::test::shortImsSong("LOST"));

    for (const char *song : {"own/SONG.IMS", "standard/TUNE.IMS", "both/MUSIC.IMS"}) {
        useOutput("song.wav");
        const SessionResult result = play(songs / song);
        ASSERT_EQ(result.playResult, 0) << song;
        EXPECT_TRUE(result.endedBySong) << song;
        EXPECT_GT(rms(readWav(temp / "song.wav").samples), 300.0) << song << " played with a bank that sounds";
    }

    useOutput("");
    EXPECT_EQ(play(songs / "none" / "LOST.IMS").playResult, -1);
    EXPECT_EQ(workspace(), onlyTheConverter);
    EXPECT_EQ(outputCounters().opens, 0);
    std::vector<std::string> left;
    for (const auto &entry : std::filesystem::directory_iterator(songs / "none"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"LOST.IMS"});
}

// The file information of any song is its own, the same as GetLength gives
// once it plays; a song that plays meanwhile is not disturbed and keeps its
// own; what is no song the plug-in could play is "unknown" (-1).
TEST_F(PluginPlayback, FileInformationDescribesEachSongAsItWillPlay)
{
    const auto songs = temp / "songs";
    std::filesystem::create_directories(songs / "folder.ims");
    const auto a = songs / "a.ims", b = songs / "B.IMS";
    const velk::Bytes songA = velk::test::shortImsSong("\x88\x61\xD0\x65 tune", 2);
    writeFile(a, songA);
    writeFile(b, velk::test::shortImsSong("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", 6));  // 30 bytes, no NUL
    writeFile(songs / "STANDARD.BNK", velk::test::soundingBank());
    writeFile(songs / "text.ims", "not a song at all");
    writeFile(songs / "song.rol", songA);
    writeFile(songs / "cut header.ims", velk::Bytes(songA.begin(), songA.begin() + 40));
    writeFile(songs / "cut music.ims", velk::Bytes(songA.begin(), songA.begin() + 74));
    const std::vector<std::filesystem::path> unknown = {songs / "text.ims", songs / "song.rol", songs / "missing.ims",
                                                        songs / "folder.ims", songs / "cut header.ims",
                                                        songs / "cut music.ims"};
    struct Info {
        std::string title;
        int lengthMs;
        bool operator==(const Info &o) const { return title == o.title && lengthMs == o.lengthMs; }
    };
    const auto info = [&](const char *file) {
        char title[64] = "host's text";
        int length = -2;
        record->GetFileInfo(file, title, &length);
        return Info{title, length};
    };
    const auto infoOf = [&](const std::filesystem::path &file) { return info(file.string().c_str()); };

    // While nothing plays.
    const Info infoA = infoOf(a), infoB = infoOf(b);
    EXPECT_EQ(infoA.title, "\xB0\xA1\xC7\xD1 tune");
    EXPECT_EQ(infoB.title, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    EXPECT_GT(infoA.lengthMs, 0);
    EXPECT_GT(infoB.lengthMs, infoA.lengthMs);
    for (const auto &file : unknown)
        EXPECT_EQ(infoOf(file), (Info{"host's text", -1})) << file;
    EXPECT_EQ(info(nullptr), (Info{"host's text", record->GetLength()}));
    EXPECT_EQ(info(""), (Info{"host's text", record->GetLength()}));

    // While a plays, the host asks about everything.
    std::vector<Info> asked;
    whilePlaying = [&] {
        asked.push_back(infoOf(b));
        for (const auto &file : unknown)
            asked.push_back(infoOf(file));
        asked.push_back(info(nullptr));
        asked.push_back(infoOf(a));
        asked.push_back(Info{std::string(), record->GetLength()});
    };
    useOutput("asked.wav");
    const SessionResult result = play(a);
    ASSERT_EQ(result.playResult, 0);
    EXPECT_TRUE(result.endedBySong);
    EXPECT_EQ((Info{result.title, result.lengthMs}), infoA);
    ASSERT_EQ(asked.size(), unknown.size() + 4);
    EXPECT_EQ(asked[0], infoB);
    for (std::size_t i = 0; i < unknown.size(); ++i)
        EXPECT_EQ(asked[1 + i], (Info{"host's text", -1})) << unknown[i];
    EXPECT_EQ(asked[unknown.size() + 1], infoA) << "no name: the playing song";
    EXPECT_EQ(asked[unknown.size() + 2], infoA) << "the playing song by its name";
    EXPECT_EQ(asked[unknown.size() + 3].lengthMs, infoA.lengthMs) << "GetLength is the playing song's";

    // Undisturbed: the same audio as when nobody asks.
    whilePlaying = nullptr;
    useOutput("quiet.wav");
    ASSERT_EQ(play(a).playResult, 0);
    EXPECT_EQ(readFile(temp / "asked.wav"), readFile(temp / "quiet.wav"));
    ASSERT_EQ(play(b).lengthMs, infoB.lengthMs);
    EXPECT_EQ(record->GetLength(), infoB.lengthMs);

    // Stopped, a is a file like any other; the cache sees it rewritten.
    EXPECT_EQ(infoOf(a), infoA);
    writeFile(a, velk::test::shortImsSong("NEW", 8));
    const Info rewritten = infoOf(a);
    EXPECT_EQ(rewritten.title, "NEW");
    EXPECT_GT(rewritten.lengthMs, infoB.lengthMs);
    useOutput("");
    ASSERT_EQ(play(a).lengthMs, rewritten.lengthMs);
    EXPECT_EQ(play(songs / "cut music.ims").playResult, -1) << "unknown length, no play";
}

TEST_F(PluginPlayback, FileInformationOfTheRealSongIsWhatPlayMeasures)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    char title[64] = "";
    int length = -1;
    record->GetFileInfo(song.string().c_str(), title, &length);
    EXPECT_EQ(title, expectedTitle(song));
    EXPECT_GT(length, 200000);
    const SessionResult result = play(song, {{ScriptStep::Kind::stop, 0, 500}});
    ASSERT_EQ(result.playResult, 0);
    EXPECT_EQ(result.lengthMs, length);
    EXPECT_EQ(record->GetLength(), length);
}

class PluginStress : public PluginPlayback {};

#ifdef __SANITIZE_ADDRESS__
// Appends to ASAN_OPTIONS for the programs this process starts, until the
// object is gone.
class ChildSanitizerOptions {
public:
    explicit ChildSanitizerOptions(const std::string &more)
    {
        const char *old = std::getenv("ASAN_OPTIONS");
        had_ = old != nullptr;
        old_ = old ? old : "";
        const std::string value = old_.empty() ? more : old_ + ":" + more;
        setenv("ASAN_OPTIONS", value.c_str(), 1);
    }
    ~ChildSanitizerOptions()
    {
        if (had_)
            setenv("ASAN_OPTIONS", old_.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
    }

private:
    bool had_;
    std::string old_;
};
#endif

TEST_F(PluginStress, PlayAndStopTwoHundredTimesAtRandomPoints)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
#ifdef __SANITIZE_ADDRESS__
    // The converter starts 200 times here. Its leaks are its own tests'
    // business; checking them at every exit would double this test's time.
    ChildSanitizerOptions children("detect_leaks=0");
#endif
    // One cycle first: the converter is written once and stays.
    ASSERT_EQ(play(song, {{ScriptStep::Kind::stop, 0, 0}}).playResult, 0);
    const velk::test::ProcessCensus before = velk::test::takeProcessCensus();
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> stopPoint(0, 1000);
    for (int cycle = 0; cycle < 200; ++cycle) {
        const int at = stopPoint(random);
        const SessionResult result = play(song, {{ScriptStep::Kind::stop, 0, at}});
        ASSERT_EQ(result.playResult, 0) << "cycle " << cycle;
        ASSERT_TRUE(result.stoppedByScript) << "cycle " << cycle;
        ASSERT_FALSE(outputIsOpen()) << "cycle " << cycle;
    }
    const OutputCounters out = outputCounters();
    EXPECT_EQ(out.opens, out.closes);
    EXPECT_EQ(hostCounters().savsaInits, hostCounters().savsaDeInits);
    EXPECT_EQ(workspace(), onlyTheConverter);
    const velk::test::ProcessCensus after = velk::test::takeProcessCensus();
    EXPECT_EQ(after.threads, before.threads);
    // Leaks would show by the hundred; the system may hold a few on its own.
    EXPECT_LE(after.handles, before.handles + 4);
}

TEST_F(PluginStress, FiftySeeksDuringOneSong)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> target(0, 200000);
    std::vector<ScriptStep> steps;
    for (int i = 1; i <= 50; ++i)
        steps.push_back({ScriptStep::Kind::seek, target(random), 200 * i});
    steps.push_back({ScriptStep::Kind::stop, 0, 200 * 51});
    const SessionResult result = play(song, steps);
    ASSERT_EQ(result.playResult, 0);
    ASSERT_EQ(result.stepsTaken, 51);
    EXPECT_EQ(outputCounters().flushes, 50);
    // Each seek put the clock on its target (the first tick at or after it),
    // 200 ms before the next step looked.
    for (int i = 1; i <= 50; ++i) {
        EXPECT_GE(result.outputTimeAtStep[i], steps[i - 1].valueMs + 200 - 20) << "seek " << i;
        EXPECT_LE(result.outputTimeAtStep[i], steps[i - 1].valueMs + 200 + 120) << "seek " << i;
    }
    EXPECT_FALSE(outputIsOpen());
}

} // namespace
