// velkplay's song list in process, into SDL's disk audio driver: a long list
// of short songs plays through, each ending with one end-of-song message, a
// song that fails is reported and passed over, and nothing (thread or
// descriptor) is left behind. Also the status line it draws and the
// timeline of what is heard.
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/end_of_song_receiver.h"
#include "host/host_members.h"
#include "host/plugin_library.h"
#include "tests/e2e/process_census.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"
#include "tools/velkplay/heard_timeline.h"
#include "tools/velkplay/song_list_player.h"
#include "tools/velkplay/sound_output.h"
#include "tools/velkplay/status_line.h"

namespace {

using namespace velk;

std::string asText(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

int countOf(const std::string &text, const std::string &what)
{
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A quarter of a second: one note of a piano from the folder's standard.bnk.
// (Lower case: DOS names in capitals are not yet found on Linux.)
void writeShortSong(const std::filesystem::path &path)
{
    ims::SongSource song;
    song.title = "short";
    song.rhythmMode = 0;
    song.basicTempo = 120;
    song.instruments = {"piano1"};
    song.events = {ims::instrument(0, 0), ims::noteOn(0, 60, 100).after(120), ims::noteOn(0, 60, 0)};
    test::writeFile(path, asText(ims::writeSong(song)));
}

void writeBank(const std::filesystem::path &path)
{
    bank::BankInstrument piano;
    piano.name = "piano1";
    piano.modulator[bank::frequencyMultiplier] = 1;
    piano.carrier[bank::attackRate] = 15;
    test::writeFile(path, asText(bank::writeBank({piano})));
}

TEST(VelkplayList, FiftyTwoShortSongsEachEndOnceAndLeaveNothingBehind)
{
    test::TempDir temp;
    temp.becomeTemporaryDirectory();
    // 1 ms for each 23 ms the device consumes.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (temp / "device.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    writeBank(temp / "standard.bnk");
    std::vector<std::string> songs;
    for (int i = 1; i <= 53; ++i) {
        const std::string name = (i < 10 ? "song0" : "song") + std::to_string(i) + ".ims";
        songs.push_back((temp / name).string());
        if (i == 20)  // not a song: Play fails, and the list goes on
            test::writeFile(temp / name, "not an IMS song");
        else
            writeShortSong(temp / name);
    }

    const test::ProcessCensus before = test::takeProcessCensus();
    {
        std::string error;
        auto library = host::PluginLibrary::load(VELK_PLUGIN_PATH, error);
        ASSERT_TRUE(library) << error;
        ASSERT_TRUE(play::startSound("", error)) << error;
        In_Module &module = *library->entry()();
        host::EndOfSongReceiver receiver;
        host::fillHostMembers(module, receiver.window(), library->instance(), play::soundOutputModule());
        module.Init();
        std::ostringstream out, err;
        const play::ListResult result = play::playSongList(module, receiver, songs, nullptr, out, err);
        module.Quit();
        play::stopSound();

        EXPECT_EQ(result.played, 52);
        EXPECT_EQ(result.failed, 1);
        EXPECT_FALSE(result.quit);
        EXPECT_EQ(result.stopSignal, 0);
        EXPECT_EQ(receiver.endOfSongMessages(), 52);
        EXPECT_EQ(receiver.otherMessages(), 0);
        EXPECT_EQ(countOf(out.str(), "played: short (0:00)  "), 52) << out.str();
        EXPECT_EQ(countOf(out.str(), "song21.ims\n"), 1) << "the song after the failed one plays";
        EXPECT_EQ(err.str(), "velkplay: " + songs[19] + ": Play returned -1 (no player accepted the song)\n");
    }
    const test::ProcessCensus after = test::takeProcessCensus();
    EXPECT_EQ(after.threads, before.threads) << "threads left over";
    EXPECT_EQ(after.handles, before.handles) << "descriptors left over";
}

TEST(VelkplayStatusLine, FitsTheWidthAndFillsTheBarByTheTimeHeard)
{
    EXPECT_EQ(play::clockText(0), "0:00");
    EXPECT_EQ(play::clockText(61999), "1:01");
    EXPECT_EQ(play::clockText(-5), "0:00");
    EXPECT_EQ(play::clockText(600000 + 59000), "10:59");

    EXPECT_EQ(play::statusLine(false, 30000, 120000, 42), "playing  0:30 [#####...............]  2:00");
    EXPECT_EQ(play::statusLine(true, 120000, 120000, 42), "paused   2:00 [####################]  2:00");
    // Past the length, before any length, and narrower than the text.
    EXPECT_EQ(play::statusLine(false, 130000, 120000, 42), "playing  2:10 [####################]  2:00");
    EXPECT_EQ(play::statusLine(false, 5000, 0, 40), "playing  0:05 [..................]  0:00");
    EXPECT_EQ(play::statusLine(false, 0, 1000, 5), "playing  0:00 [..........]  0:01");
}

TEST(VelkplayHeardTimeline, SongTimeAtTheOutputTimeHeardAtAnyTempo)
{
    play::HeardTimeline timeline;
    play::TimelineStamp stamp;
    stamp.outputMs = 1000, stamp.songMs = 1000, stamp.voiceCount = 1, stamp.voices[0].key = 60;
    timeline.restart(stamp);
    stamp.outputMs = 1100, stamp.songMs = 1200, stamp.voices[0].key = 62;  // at tempo 2
    timeline.add(stamp);
    EXPECT_EQ(timeline.heardAt(900).songMs, 1000) << "before the first stamp: its time";
    const play::TimelineStamp heard = timeline.heardAt(1050);
    EXPECT_EQ(heard.songMs, 1100);
    EXPECT_EQ(heard.voices[0].key, 60) << "the voices of the block being heard";
    EXPECT_EQ(timeline.heardAt(1500).songMs, 1200) << "past the last block: its end";
    EXPECT_EQ(timeline.heardAt(1500).voices[0].key, 62);
}

} // namespace
