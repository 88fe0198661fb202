// The program ruz2avu itself, run in a folder of its own with its standard
// input fed: every console text byte for byte, the files it reads and writes.
#include <fstream>

#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "tests/converter/run_program.h"
#include "tests/support/files.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk::test {
namespace {

using namespace velk::ims;
namespace fs = std::filesystem;

const std::string banner = "\n RUZ2AVU  v 1.10  IMS to ROL song converter, Velk project\n";
const std::string usage = "\n\n  Usage :  ruz2avu [path]<imsfile[.ims]> [rolfile] [option]"
                          "\n   option       /t :input ticks per beat"
                          "\n\n  ex)      ruz2avu song.ims";
const std::string prompt = "\n   Ticks per Beat = ";

Bytes song(int key, std::uint8_t delay = 30)
{
    SongSource s;
    s.events = {noteOn(0, key, 100).after(delay), noteOn(0, key, 0)};
    return writeSong(s);
}

class Ruz2avu : public ::testing::Test {
protected:
    TempDir temp;
    fs::path work = temp / "work";

    void SetUp() override { fs::create_directory(work); }

    ProgramRun run(const std::vector<std::string> &args, const std::string &input = "")
    {
        return runProgram(ruz2avuPath(), args, work, input);
    }
    void expectOutput(const ProgramRun &r, const std::string &text, int exitCode)
    {
        EXPECT_EQ(r.output, consoleText(text));
        EXPECT_EQ(r.exitCode, exitCode);
    }
    std::vector<std::string> rolFiles()
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(work))
            if (entry.path().extension() == ".rol")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Ruz2avu, ConvertsASongWithItsMessages)
{
    writeFile(work / "song.ims", song(60));
    for (const char *arg : {"song", "song.ims", "SONG.IMS", "Song.Ims.old"}) {
        fs::remove(work / "song.rol");
        expectOutput(run({arg}), banner + "\n Loading  song.IMS ---> Ok\n Saving   song.ROL ---> Ok", 0);
        EXPECT_EQ(readFile(work / "song.rol"), converter::convertImsToRol(song(60)).rol) << arg;
    }
    // The file found is the file opened, whatever the case of its name.
    writeFile(work / "LOUD.IMS", song(62));
    expectOutput(run({"loud"}), banner + "\n Loading  LOUD.IMS ---> Ok\n Saving   LOUD.ROL ---> Ok", 0);
    EXPECT_EQ(readFile(work / "LOUD.rol"), converter::convertImsToRol(song(62)).rol);
}

TEST_F(Ruz2avu, UsageWhenThereIsNothingToConvert)
{
    expectOutput(run({}), banner + usage, 1);
    expectOutput(run({"missing"}), banner + usage, 1);
    // Too short for its header, music data or names: as if it could not be opened.
    Bytes cut = song(60);
    cut.pop_back();
    writeFile(work / "cut.ims", cut);
    expectOutput(run({"cut"}), banner + "\n Loading  cut.IMS" + usage, 1);
    // An output that cannot be created.
    writeFile(work / "song.ims", song(60));
    expectOutput(run({"song", "nowhere/out.rol"}), banner + "\n Loading  song.IMS ---> Ok\n Saving   nowhere/OUT.ROL" + usage, 1);
    EXPECT_TRUE(rolFiles().empty());
#ifndef _WIN32
    // An output name that is a link, as one planted in a shared folder would
    // be: never written through.
    writeFile(temp / "victim", "keep");
    fs::create_symlink(temp / "victim", work / "song.rol");
    expectOutput(run({"song"}), banner + "\n Loading  song.IMS ---> Ok\n Saving   song.ROL" + usage, 1);
    EXPECT_EQ(readText(temp / "victim"), "keep");
#endif
}

TEST_F(Ruz2avu, BadVoiceRingsTheBell)
{
    SongSource s;
    s.events = {noteOn(0, 60, 100), raw({0xFD, 0})};
    writeFile(work / "bad.ims", writeSong(s));
    expectOutput(run({"bad"}), banner + "\n Loading  bad.IMS\a errro", 1);
    EXPECT_TRUE(rolFiles().empty());
}

TEST_F(Ruz2avu, TicksPerBeatFromStandardInput)
{
    writeFile(work / "song.ims", song(60));
    const std::string done = "\n Loading  song.IMS ---> Ok\n Saving   song.ROL ---> Ok";
    expectOutput(run({"song", "/T4"}, "  4\n"), banner + prompt + done, 0);
    EXPECT_EQ(readFile(work / "song.rol"), converter::convertImsToRol(song(60), 4).rol);
    // Not a number: as if not asked (the smallest delay, 30, gives 8).
    expectOutput(run({"song", "/t"}, "many\n"), banner + prompt + done, 0);
    EXPECT_EQ(readFile(work / "song.rol"), converter::convertImsToRol(song(60)).rol);
    // With an output name before the option.
    expectOutput(run({"song", "out.rol", "/t"}, "12"), banner + prompt + "\n Loading  song.IMS ---> Ok\n Saving   OUT.ROL ---> Ok", 0);
    EXPECT_EQ(readFile(work / "OUT.rol"), converter::convertImsToRol(song(60), 12).rol);
    // Out of range: refused before anything is read or written.
    fs::remove(work / "song.rol");
    fs::remove(work / "OUT.rol");
    for (const char *input : {"241", "-1", "99999999999"})
        expectOutput(run({"song", "/t"}, input), banner + prompt + "\n   Ticks per Beat must be 0 to 240: nothing converted", 1);
    EXPECT_TRUE(rolFiles().empty());
}

TEST_F(Ruz2avu, EveryMatchInTurnAndOneOutputName)
{
    writeFile(work / "a.ims", song(60));
    writeFile(work / "b.ims", song(62));
    writeFile(work / "notes.txt", song(64));
    fs::create_directory(work / "dir.ims");
    ProgramRun r = run({"*.ims"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find(consoleText("\n Loading  a.IMS ---> Ok\n Saving   a.ROL ---> Ok")), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(consoleText("\n Loading  b.IMS ---> Ok\n Saving   b.ROL ---> Ok")), std::string::npos) << r.output;
    EXPECT_EQ(rolFiles(), (std::vector<std::string>{"a.rol", "b.rol"}));

    // One output name for all: the file holds the last song converted.
    r = run({"*.ims", "out.rol"});
    EXPECT_EQ(r.exitCode, 0);
    const bool bLast = r.output.rfind("b.IMS") > r.output.rfind("a.IMS");
    EXPECT_EQ(readFile(work / "OUT.rol"), converter::convertImsToRol(song(bLast ? 62 : 60)).rol);
}

TEST_F(Ruz2avu, DirectoryPartFindsAndOpensTheSongThere)
{
    fs::create_directory(work / "music");
    writeFile(work / "music" / "tune.ims", song(67));
    expectOutput(run({"music/tune.ims"}), banner + "\n Loading  tune.IMS ---> Ok\n Saving   tune.ROL ---> Ok", 0);
    // Written relative to the working directory.
    EXPECT_EQ(readFile(work / "tune.rol"), converter::convertImsToRol(song(67)).rol);
}

TEST_F(Ruz2avu, ASongBeyondTheLimitsIsRefusedAndTheOthersWritten)
{
    SongSource s;
    s.events = {noteOn(0, 60, 100).afterBytes(40000, 0), noteOn(0, 60, 0)};
    writeFile(work / "long.ims", writeSong(s));
    writeFile(work / "short.ims", song(60));
    ProgramRun r = run({"*.ims"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find(consoleText("\n Loading  long.IMS ---> not converted: it runs to tick 40000, a ROL song ends by tick 32767")),
              std::string::npos)
        << r.output;
    EXPECT_EQ(rolFiles(), (std::vector<std::string>{"short.rol"}));
}

#ifndef _WIN32
// The Windows programs under Wine, each started through its own command
// interpreter in a temporary folder as the plug-in starts it, write the same
// bytes: the i686 one is what the plug-in embeds, and x87 arithmetic and
// 32-bit layouts are its own.
struct WindowsBuild {
    const char *target;    // which Wine and which cmd.exe (VELK_WINE_ARCH)
    const char *program;   // the built ruz2avu.exe
    const char *override;  // an environment variable naming another one
};

// Names the case in test lists (ctest shows .../win64 and .../win32).
void PrintTo(const WindowsBuild &build, std::ostream *out) { *out << build.target; }

class Ruz2avuOnWindows : public ::testing::TestWithParam<WindowsBuild> {};

TEST_P(Ruz2avuOnWindows, WritesTheSameBytesAsTheNativeBuild)
{
    const WindowsBuild build = GetParam();
    std::string exe = build.program;
    if (const char *other = std::getenv(build.override))
        exe = other;
    if (!fs::exists(exe)) {
        if (runningInCi())
            FAIL() << exe << " is missing: the " << build.target << " build must come first";
        GTEST_SKIP() << exe << " not built (build the " << build.target << " preset to compare); skipping";
    }
    const auto underWine = [&](const std::string &command, const fs::path &folder) {
        return runProgram("env", {std::string("VELK_WINE_ARCH=") + build.target, VELK_WINE_RUN, "cmd", "/A", "/C",
                                  command},
                          folder);
    };
    {
        // The test command's own probe decides: a kernel that cannot start
        // 32-bit programs skips the i686 case even under CI; broken Wine fails there.
        TempDir probe;
        std::vector<std::string> args{VELK_WINE_PROBE, build.target};
        if (runningInCi())
            args.push_back("--ci");
        std::string verdict = runProgram("python3", args, probe.path()).output;
        if (!verdict.empty() && verdict.back() == '\n')
            verdict.pop_back();
        if (verdict.rfind("not-run ", 0) == 0)
            GTEST_SKIP() << "the " << build.target << " case does not run: " << verdict.substr(8);
        ASSERT_EQ(verdict, "run") << "from " << VELK_WINE_PROBE;
    }
    VELK_REQUIRE_REAL_SONG(real, "go-_-go.ims");
    // Every volume level, pitch and tempo fraction, to compare the floats.
    SongSource floats;
    for (int i = 0; i < 256; ++i) {
        floats.events.push_back(volume(i % 11, i).after(1));
        floats.events.push_back(pitchBend(i % 11, static_cast<unsigned>(i * 257)).after(1));
        if (i < 128)
            floats.events.push_back(tempo(i % 3, i).after(1));
    }
    std::string windowsPath = "Z:" + fs::absolute(exe).string();
    for (char &c : windowsPath)
        if (c == '/')
            c = '\\';

    for (const auto &[name, bytes] : {std::pair{"real song", readFile(real)}, {"floats", writeSong(floats)}}) {
        SCOPED_TRACE(name);
        TempDir temp;
        const fs::path work = temp / "work";
        fs::create_directory(work);
        writeFile(work / "$$.ims", bytes);
        const ProgramRun windows = underWine(windowsPath + " $$.ims", work);
        EXPECT_EQ(windows.exitCode, 0) << windows.output;
        std::string lines;
        for (char c : banner + "\n Loading  $$.IMS ---> Ok\n Saving   $$.ROL ---> Ok")
            lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(windows.output, lines);
        const converter::ConversionResult native = converter::convertImsToRol(bytes);
        ASSERT_TRUE(native.converted());
        EXPECT_EQ(readFile(work / "$$.rol"), native.rol);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Ruz2avuOnWindows,
                         ::testing::Values(WindowsBuild{"win64", VELK_WIN64_RUZ2AVU, "VELK_WIN64_RUZ2AVU"},
                                           WindowsBuild{"win32", VELK_WIN32_RUZ2AVU, "VELK_WIN32_RUZ2AVU"}));
#endif

} // namespace
} // namespace velk::test
