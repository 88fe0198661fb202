// velkrender --lrc: the lyrics as an enhanced LRC file beside the render or
// alone on standard output, read back by a real reader (ffprobe).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libvelk/velk.h"
#include "tests/support/demo_song.h"
#include "tests/support/files.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"
#include "tools/issmaker/iss_writer.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

int run(const std::string &arguments, const fs::path &log)
{
    const std::string command = "'" VELK_VELKRENDER "' " + arguments + " 2> '" + log.string() + "'";
    return std::system(command.c_str());
}

lyrics::IssSource demoLyrics()
{
    lyrics::IssSource s;
    s.credits = {"Kim", "", "", "Lee"};
    s.lines = {"      la \x88\x61 la", "next"};
    s.records = {{0, 0, 6, 2}, {15, 0, 9, 2}, {30, 0, 12, 2}, {60, 1, 0, 4}};
    return s;
}

TEST(VelkrenderLrc, WritesTheLyricsBesideTheRenderAndChangesNoSample)
{
    test::TempDir dir;
    dir.becomeTemporaryDirectory();
    ASSERT_TRUE(test::writeDemoSong(dir.path()));
    const std::string song = "'" + (dir / "demo.ims").string() + "'";
    const fs::path log = dir / "log.txt";
    ASSERT_EQ(run("--emu satoh --rate 8000 -o '" + (dir / "plain.wav").string() + "' " + song, log), 0)
        << test::readText(log);
    const auto plain = test::readFile(dir / "plain.wav");

    test::writeFile(dir / "DEMO.ISS", lyrics::writeIssFile(demoLyrics()));
    ASSERT_EQ(run("--lrc --emu satoh --rate 8000 " + song + " > '" + (dir / "out.txt").string() + "'", log), 0)
        << test::readText(log);
    EXPECT_EQ(test::readFile(dir / "demo.wav"), plain);
    const std::string lrc = test::readText(dir / "demo.lrc");
    // At 120 beats a minute, a record's time of 15 is a quarter second.
    EXPECT_EQ(lrc, "[ti:Velk demo - Lantern Walk]\n[ar:Kim, Lee]\n[re:Velk " VELK_VERSION_STRING "]\n"
                   "[00:00.00]<00:00.00>la <00:00.25>가 <00:00.50>la\n[00:01.00]<00:01.00>next\n");
    EXPECT_NE(test::readText(dir / "out.txt").find("lyrics: " + (dir / "demo.lrc").string()), std::string::npos);

    // Alone to standard output: no audio is written.
    fs::remove(dir / "demo.wav");
    ASSERT_EQ(run("--lrc -o - " + song + " > '" + (dir / "alone.lrc").string() + "'", log), 0)
        << test::readText(log);
    EXPECT_EQ(test::readText(dir / "alone.lrc"), lrc);
    EXPECT_FALSE(fs::exists(dir / "demo.wav"));
    // At half the tempo the lyrics come at twice the times, as the audio does.
    ASSERT_EQ(run("--lrc --tempo 0.5 -o - " + song + " > '" + (dir / "slow.lrc").string() + "'", log), 0);
    EXPECT_NE(test::readText(dir / "slow.lrc").find("[00:00.00]<00:00.00>la <00:00.50>가 <00:01.00>la\n[00:02.00]"),
              std::string::npos)
        << test::readText(dir / "slow.lrc");

    // A lyric file cut short: said so, and the song renders all the same.
    const auto whole = lyrics::writeIssFile(demoLyrics());
    test::writeFile(dir / "DEMO.ISS", Bytes(whole.begin(), whole.begin() + 170));
    fs::remove(dir / "demo.lrc");
    ASSERT_EQ(run("--lrc --emu satoh --rate 8000 " + song + " > /dev/null", log), 0) << test::readText(log);
    EXPECT_NE(test::readText(log).find("lyrics ignored: " + (dir / "DEMO.ISS").string() + ": not a lyric file"),
              std::string::npos)
        << test::readText(log);
    EXPECT_EQ(test::readFile(dir / "demo.wav"), plain);
    EXPECT_FALSE(fs::exists(dir / "demo.lrc"));
    EXPECT_NE(run("--lrc -o - " + song + " > /dev/null", log), 0);
}

// ffprobe reads the shared pair's LRC as a subtitle stream: one event per
// line with a time, at that time.
TEST(VelkrenderLrc, FfprobeReadsTheSharedPairsLyrics)
{
    VELK_REQUIRE_REAL_SONG(ims, "AMG0018.IMS");
    VELK_REQUIRE_REAL_SONG(iss, "AMG0018.ISS");
    VELK_REQUIRE_REAL_SONG(bank, "STANDARD.BNK");
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe is not installed (tools/bootstrap.sh installs ffmpeg)";
    test::TempDir dir;
    dir.becomeTemporaryDirectory();
    for (const fs::path &from : {ims, iss, bank})
        fs::copy_file(from, dir / from.filename());
    const fs::path lrc = dir / "AMG0018.lrc", log = dir / "log.txt";
    ASSERT_EQ(run("--lrc -o - '" + (dir / "AMG0018.IMS").string() + "' > '" + lrc.string() + "'", log), 0)
        << test::readText(log);

    std::vector<double> times;  // of the lines with a time, as written
    std::istringstream lines(test::readText(lrc));
    for (std::string line; std::getline(lines, line);) {
        int minutes, seconds, hundredths;
        if (std::sscanf(line.c_str(), "[%d:%d.%d]", &minutes, &seconds, &hundredths) == 3)
            times.push_back(minutes * 60 + seconds + hundredths / 100.0);
    }
    ASSERT_EQ(times.size(), 34u);
    EXPECT_DOUBLE_EQ(times[1], 2.52);

    const fs::path probe = dir / "probe.txt";
    const std::string command = "ffprobe -v error -show_entries packet=pts_time -of csv=p=0 '" + lrc.string() +
                                "' > '" + probe.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<double> events;
    std::istringstream probed(test::readText(probe));
    for (std::string line; std::getline(probed, line);)
        events.push_back(std::atof(line.c_str()));
    ASSERT_EQ(events.size(), times.size());
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(events[i], times[i], 0.0005) << i;
}

} // namespace
} // namespace velk
