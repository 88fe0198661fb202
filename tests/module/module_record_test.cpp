// The record the export hands the host, and the callbacks that answer
// without playing: the song test, the notices, the file information.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/host_interface.h"
#include "playback/playback_settings.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

extern "C" In_Module *winampGetInModule2();

namespace {

using velk::test::TempDir;
using velk::test::writeFile;

TEST(ModuleRecord, FixedMembersAsTheHostExpectsThem)
{
    In_Module *record = winampGetInModule2();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->version, 0x100);
    EXPECT_STREQ(record->description, "Velk plug-in v0.8");
    EXPECT_EQ(record->is_seekable, 1);
    EXPECT_EQ(record->UsesOutputPlug, 1);

    // Every callback is the module's; every host member waits for the host.
    const void *module[] = {
        reinterpret_cast<void *>(record->Config),        reinterpret_cast<void *>(record->About),
        reinterpret_cast<void *>(record->Init),          reinterpret_cast<void *>(record->Quit),
        reinterpret_cast<void *>(record->GetFileInfo),   reinterpret_cast<void *>(record->InfoBox),
        reinterpret_cast<void *>(record->IsOurFile),     reinterpret_cast<void *>(record->Play),
        reinterpret_cast<void *>(record->Pause),         reinterpret_cast<void *>(record->UnPause),
        reinterpret_cast<void *>(record->IsPaused),      reinterpret_cast<void *>(record->Stop),
        reinterpret_cast<void *>(record->GetLength),     reinterpret_cast<void *>(record->GetOutputTime),
        reinterpret_cast<void *>(record->SetOutputTime), reinterpret_cast<void *>(record->SetVolume),
        reinterpret_cast<void *>(record->SetPan),        reinterpret_cast<void *>(record->EQSet),
    };
    for (const void *callback : module)
        EXPECT_NE(callback, nullptr);
    const void *host[] = {
        record->hMainWindow,
        record->hDllInstance,
        reinterpret_cast<void *>(record->SAVSAInit),
        reinterpret_cast<void *>(record->SAVSADeInit),
        reinterpret_cast<void *>(record->SAAddPCMData),
        reinterpret_cast<void *>(record->VSAAddPCMData),
        reinterpret_cast<void *>(record->VSASetInfo),
        reinterpret_cast<void *>(record->dsp_dosamples),
        reinterpret_cast<void *>(record->SetInfo),
        record->outMod,
    };
    for (const void *member : host)
        EXPECT_EQ(member, nullptr);
}

TEST(ModuleRecord, ExtensionListIsOnePairClosedByAnEmptyString)
{
    const In_Module *record = winampGetInModule2();
    static const char expected[] = "IMS\0Iyagi Music Song (*.IMS)\0";  // + the literal's NUL
    ASSERT_NE(record->FileExtensions, nullptr);
    EXPECT_EQ(std::memcmp(record->FileExtensions, expected, sizeof expected), 0);
}

TEST(ModuleRecord, ASecondCallGivesTheSameRecordAndPutsTheDefaultsBack)
{
    In_Module *first = winampGetInModule2();
    velk::playbackSettings.current = {8000, false, false, false, 0};
    velk::playbackSettings.pending = {11025, false, true, false, 6};
    char cleared[] = "";
    first->FileExtensions = cleared;

    In_Module *second = winampGetInModule2();
    EXPECT_EQ(second, first);
    const auto &now = velk::playbackSettings.current;
    EXPECT_EQ(now.sampleRate, 44100);
    EXPECT_TRUE(now.use16Bit);
    EXPECT_TRUE(now.stereo);
    EXPECT_TRUE(now.stopAtSongEnd);
    EXPECT_EQ(now.priorityIndex, 4);
    EXPECT_EQ(std::strcmp(second->FileExtensions, "IMS"), 0);
}

const std::string oldHead("\x10\0\0\0\0\0", 6);
const std::string realHead("\x01\0\0\0\0\0", 6);

TEST(IsOurFile, BothHeadsUnderAnImsNameInAnyCase)
{
    TempDir dir;
    In_Module *record = winampGetInModule2();
    writeFile(dir / "old.ims", oldHead + "title");
    writeFile(dir / "real.IMS", realHead + "title");
    writeFile(dir / "exact.Ims", realHead);  // six bytes are enough
    for (const char *name : {"old.ims", "real.IMS", "exact.Ims"})
        EXPECT_EQ(record->IsOurFile((dir / name).string().c_str()), 1) << name;
}

TEST(IsOurFile, RefusesOtherNamesAndOtherHeads)
{
    TempDir dir;
    In_Module *record = winampGetInModule2();
    struct Case {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"song.rol", realHead},                                // right bytes, other extension
        {"song.ims.bak", realHead},                            // .ims is not the last extension
        {"songims", realHead},                                 // no dot at all
        {"song.imsx", realHead},
        {"second.ims", std::string("\x01\x01\0\0\0\0", 6)},    // second byte not 0
        {"sixth.ims", std::string("\x10\0\0\0\0\x01", 6)},
        {"other.ims", std::string("\x02\0\0\0\0\0", 6)},
        {"rol.ims", std::string("\x00\x00\x04\x00\0\0", 6)},   // a ROL song's version words
        {"short.ims", std::string("\x01\0\0\0\0", 5)},         // shorter than the head
        {"empty.ims", ""},
    };
    for (const Case &c : cases) {
        writeFile(dir / c.name, c.bytes);
        EXPECT_EQ(record->IsOurFile((dir / c.name).string().c_str()), 0) << c.name;
    }
    EXPECT_EQ(record->IsOurFile((dir / "missing.ims").string().c_str()), 0);
    // A folder opens on some systems but never reads as a song.
    std::filesystem::create_directory(dir / "folder.ims");
    EXPECT_EQ(record->IsOurFile((dir / "folder.ims").string().c_str()), 0);
    // A dot in a folder's name is not the song's extension.
    std::filesystem::create_directory(dir / "songs.ims");
    writeFile(dir / "songs.ims" / "song", realHead);
    EXPECT_EQ(record->IsOurFile((dir / "songs.ims" / "song").string().c_str()), 0);
}

TEST(IsOurFile, LeavesTheFileClosed)
{
    TempDir dir;
    const auto path = dir / "song.ims";
    writeFile(path, realHead);
    ASSERT_EQ(winampGetInModule2()->IsOurFile(path.string().c_str()), 1);
    // Windows refuses to delete a file that is still open.
    EXPECT_EQ(std::remove(path.string().c_str()), 0);
}

TEST(GetFileInfo, WhileNothingPlaysNoNameLeavesTheTitleAndGivesTheLastLength)
{
    In_Module *record = winampGetInModule2();
    for (const char *name : {static_cast<const char *>(nullptr), ""}) {
        char title[64] = "the host's own text";
        int length = -2;
        record->GetFileInfo(name, title, &length);
        EXPECT_STREQ(title, "the host's own text");
        EXPECT_EQ(length, record->GetLength());
    }
    EXPECT_EQ(record->IsPaused(), 0);
}

TEST(GetFileInfo, AFileThatIsNoPlayableSongIsUnknown)
{
    TempDir dir;
    writeFile(dir / "text.ims", "hello");
    writeFile(dir / "head only.ims", realHead);
    for (const char *name : {"text.ims", "head only.ims", "missing.ims"}) {
        char title[64] = "the host's own text";
        int length = 0;
        winampGetInModule2()->GetFileInfo((dir / name).string().c_str(), title, &length);
        EXPECT_STREQ(title, "the host's own text") << name;
        EXPECT_EQ(length, -1) << name;
    }
}

#ifndef _WIN32
// Where there are no message boxes, the notices go to standard error.
TEST(Notices, ConfigAndInfoBoxSayTheirTextsUnderTheCaption)
{
    In_Module *record = winampGetInModule2();
    testing::internal::CaptureStderr();
    record->Config(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "IN_VELK.DLL: Nothing to configure\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(record->InfoBox("any.ims", nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "IN_VELK.DLL: Sorry!!\nFile information not supported\n");
}

TEST(Notices, AboutShowsTheDialogTexts)
{
    testing::internal::CaptureStderr();
    winampGetInModule2()->About(nullptr);
    const std::string text = testing::internal::GetCapturedStderr();
    for (const char *line : {"About IN_VELK.DLL", "Iyagi Music Song (IMS) play plugin for WinAmp.", "version 1.0",
                             "Using ruz2avu.exe and AdPlug :-)"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}
#endif
// Windows shows real boxes: dialogs_test_win32.cpp.

} // namespace
