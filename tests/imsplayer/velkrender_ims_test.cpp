// velkrender with an IMS song: converted in process, its title shown as UTF-8
// before its length.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/imsplayer/test_programs.h"
#include "tests/support/temp_dir.h"
#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk {
namespace {

std::string bytesToString(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(VelkrenderIms, ConvertsTheSongAndShowsItsTitleBeforeItsLength)
{
    test::TempDir dir;
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

    const std::string out = (dir / "out.txt").string();
    const std::string command = "'" VELK_VELKRENDER "' '" + (dir / "tune.ims").string() + "' > '" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << test::readFile(out);

    const auto lines = test::readLines(out);
    ASSERT_EQ(lines.size(), 2u) << test::readFile(out);
    EXPECT_EQ(lines[0], "title: \xEA\xB0\x80\xED\x95\x9C tune");
    EXPECT_EQ(lines[1].rfind("length: ", 0), 0u);
    EXPECT_GT(std::atoi(lines[1].c_str() + 8), 0);
    EXPECT_GT(test::readFile((dir / "tune.wav").string()).size(), 44u);
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

} // namespace
} // namespace velk
