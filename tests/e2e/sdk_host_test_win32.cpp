// A host built as the player is: the records declared with the member types
// of the player's SDK (int where the SDK says int, Windows handles where it
// has them), written out here rather than taken from the plug-in's header, so
// that a layout the plug-in and its own host got wrong together cannot pass.
// It loads the DLL of this configuration (i686 or x86_64), reads the members
// the plug-in fixes, and plays the real song through the callbacks it finds
// where the SDK puts them.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "imsplayer/title_decoding.h"
#include "tests/support/files.h"
#include "tests/support/listening.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"

namespace {

struct SdkOutModule {
    int version;
    char *description;
    intptr_t id;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    void (*Config)(HWND hwndParent);
    void (*About)(HWND hwndParent);
    void (*Init)();
    void (*Quit)();
    int (*Open)(int samplerate, int numchannels, int bitspersamp, int bufferlenms, int prebufferms);
    void (*Close)();
    int (*Write)(char *buf, int len);
    int (*CanWrite)();
    int (*IsPlaying)();
    int (*Pause)(int pause);
    void (*SetVolume)(int volume);
    void (*SetPan)(int pan);
    void (*Flush)(int t);
    int (*GetOutputTime)();
    int (*GetWrittenTime)();
};

struct SdkInModule {
    int version;
    char *description;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    char *FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void (*Config)(HWND hwndParent);
    void (*About)(HWND hwndParent);
    void (*Init)();
    void (*Quit)();
    void (*GetFileInfo)(const char *file, char *title, int *length_in_ms);
    int (*InfoBox)(const char *file, HWND hwndParent);
    int (*IsOurFile)(const char *fn);
    int (*Play)(const char *fn);
    void (*Pause)();
    void (*UnPause)();
    int (*IsPaused)();
    void (*Stop)();
    int (*GetLength)();
    int (*GetOutputTime)();
    void (*SetOutputTime)(int time_in_ms);
    void (*SetVolume)(int volume);
    void (*SetPan)(int pan);
    void (*SAVSAInit)(int maxlatency_in_ms, int srate);
    void (*SAVSADeInit)();
    void (*SAAddPCMData)(void *PCMData, int nch, int bps, int timestamp);
    int (*SAGetMode)();
    int (*SAAdd)(void *data, int timestamp, int csa);
    void (*VSAAddPCMData)(void *PCMData, int nch, int bps, int timestamp);
    int (*VSAGetMode)(int *specNch, int *waveNch);
    int (*VSAAdd)(void *data, int timestamp);
    void (*VSASetInfo)(int srate, int nch);
    int (*dsp_isactive)();
    int (*dsp_dosamples)(short int *samples, int numsamples, int bps, int nch, int srate);
    void (*EQSet)(int on, char data[10], int preamp);
    void (*SetInfo)(int bitrate, int srate, int stereo, int synched);
    SdkOutModule *outMod;
};

constexpr UINT endOfSongMessage = WM_USER + 2;

// Everything the plug-in told this host, from either of its threads.
struct Heard {
    std::mutex lock;
    std::vector<std::string> calls;  // the host functions called, by name, in order (blocks counted apart)
    std::vector<int> openArgs, setInfoArgs, vsaSetInfoArgs, savsaInitArgs, dspArgs;
    int writes = 0, dspBlocks = 0, saBlocks = 0, vsaBlocks = 0, lastVolume = 0;
    velk::test::Pcm audio{44100, 2, 16, {}};  // what Write took
    int clockBaseMs = 0;
    std::int64_t framesSinceBase = 0;
};
Heard heard;

void note(const char *name)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back(name);
}

int msNow()
{
    std::lock_guard<std::mutex> guard(heard.lock);
    return heard.clockBaseMs + static_cast<int>(heard.framesSinceBase * 1000 / 44100);
}

// The output module: takes every block at once and counts time by what it took.
int outOpen(int rate, int channels, int bits, int bufferMs, int prebufferMs)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back("Open");
    heard.openArgs = {rate, channels, bits, bufferMs, prebufferMs};
    return 0;
}
void outClose() { note("Close"); }
int outWrite(char *buffer, int bytes)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.audio.data.insert(heard.audio.data.end(), buffer, buffer + bytes);
    heard.framesSinceBase += bytes / 4;
    ++heard.writes;
    return 0;
}
int outCanWrite() { return 1 << 20; }
int outIsPlaying() { return 0; }
int outPause(int) { note("out Pause"); return 0; }
void outSetVolume(int volume)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.lastVolume = volume;
}
void outSetPan(int) {}
void outFlush(int ms)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back("Flush");
    heard.clockBaseMs = ms;
    heard.framesSinceBase = 0;
}
int outTime() { return msNow(); }
void outNothing() {}
void outNoWindow(HWND) {}

SdkOutModule output = {0x10, nullptr, 0, nullptr, nullptr, outNoWindow, outNoWindow, outNothing, outNothing,
                       outOpen, outClose, outWrite, outCanWrite, outIsPlaying, outPause, outSetVolume,
                       outSetPan, outFlush, outTime, outTime};

// The visualisation and DSP functions the host supplies.
void savsaInit(int latencyMs, int rate)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back("SAVSAInit");
    heard.savsaInitArgs = {latencyMs, rate};
}
void savsaDeInit() { note("SAVSADeInit"); }
void saAddPcm(void *, int, int, int)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    ++heard.saBlocks;
}
int saGetMode() { note("SAGetMode"); return 0; }
int saAdd(void *, int, int) { note("SAAdd"); return 0; }
void vsaAddPcm(void *, int, int, int)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    ++heard.vsaBlocks;
}
int vsaGetMode(int *, int *) { note("VSAGetMode"); return 0; }
int vsaAdd(void *, int) { note("VSAAdd"); return 0; }
void vsaSetInfo(int rate, int channels)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back("VSASetInfo");
    heard.vsaSetInfoArgs = {rate, channels};
}
int dspIsActive() { note("dsp_isactive"); return 0; }
int dspDoSamples(short *, int frames, int bits, int channels, int rate)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    ++heard.dspBlocks;
    heard.dspArgs = {frames, bits, channels, rate};
    return frames;
}
void setInfo(int bitRate, int kHz, int channels, int synched)
{
    std::lock_guard<std::mutex> guard(heard.lock);
    heard.calls.push_back("SetInfo");
    heard.setInfoArgs = {bitRate, kHz, channels, synched};
}

// Whether `function` lies in the loaded image of `module`.
bool inImage(HMODULE module, const void *function)
{
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const auto *at = reinterpret_cast<const unsigned char *>(function);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

// The title the player should show: the song's own field, decoded.
std::string songTitle(const std::filesystem::path &song)
{
    const auto bytes = velk::test::readFile(song);
    velk::TitleField field{};
    if (bytes.size() >= 6 + field.size())
        std::memcpy(field.data(), bytes.data() + 6, field.size());
    return velk::decodeTitle(field);
}

template <typename F>
const void *address(F *function)
{
    return reinterpret_cast<const void *>(function);
}

TEST(SdkHost, ReadsTheFixedMembersAndPlaysTheRealSongThroughTheSdkOffsets)
{
    static_assert(sizeof(SdkInModule) == (sizeof(void *) == 4 ? 152 : 296), "the SDK's In_Module");
    static_assert(sizeof(SdkOutModule) == (sizeof(void *) == 4 ? 80 : 160), "the SDK's Out_Module");
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    velk::test::TempDir temp;
    temp.becomeTemporaryDirectory();

    std::string path = VELK_PLUGIN_PATH;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    HMODULE dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr) << "cannot load " << path;
    using Export = SdkInModule *(*)();
    auto entry = reinterpret_cast<Export>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "winampGetInModule2")));
    ASSERT_NE(entry, nullptr);
    SdkInModule *record = entry();
    ASSERT_NE(record, nullptr);

    // What the plug-in fixes, read where the SDK's host reads it.
    EXPECT_EQ(record->version, 0x100);
    EXPECT_STREQ(record->description, "Velk plug-in v0.8");
    static const char extensions[] = "IMS\0Iyagi Music Song (*.IMS)\0";
    ASSERT_NE(record->FileExtensions, nullptr);
    EXPECT_EQ(std::memcmp(record->FileExtensions, extensions, sizeof extensions), 0);
    EXPECT_EQ(record->is_seekable, 1);
    EXPECT_EQ(record->UsesOutputPlug, 1);
    EXPECT_EQ(record->hMainWindow, nullptr);
    EXPECT_EQ(record->hDllInstance, nullptr);
    const void *moduleFunctions[] = {
        address(record->Config),    address(record->About),       address(record->Init),
        address(record->Quit),      address(record->GetFileInfo), address(record->InfoBox),
        address(record->IsOurFile), address(record->Play),        address(record->Pause),
        address(record->UnPause),   address(record->IsPaused),    address(record->Stop),
        address(record->GetLength), address(record->GetOutputTime), address(record->SetOutputTime),
        address(record->SetVolume), address(record->SetPan),      address(record->EQSet)};
    for (const void *function : moduleFunctions)
        EXPECT_TRUE(inImage(dll, function)) << "a callback of the plug-in lies outside its image";
    const void *hostSlots[] = {
        address(record->SAVSAInit),    address(record->SAVSADeInit), address(record->SAAddPCMData),
        address(record->SAGetMode),    address(record->SAAdd),       address(record->VSAAddPCMData),
        address(record->VSAGetMode),   address(record->VSAAdd),      address(record->VSASetInfo),
        address(record->dsp_isactive), address(record->dsp_dosamples), address(record->SetInfo),
        record->outMod};
    for (const void *slot : hostSlots)
        EXPECT_EQ(slot, nullptr) << "a member the host fills in is already set";

    // The host's part, filled in as the player does after the export.
    HWND window = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    record->hMainWindow = window;
    record->hDllInstance = dll;
    record->SAVSAInit = savsaInit;
    record->SAVSADeInit = savsaDeInit;
    record->SAAddPCMData = saAddPcm;
    record->SAGetMode = saGetMode;
    record->SAAdd = saAdd;
    record->VSAAddPCMData = vsaAddPcm;
    record->VSAGetMode = vsaGetMode;
    record->VSAAdd = vsaAdd;
    record->VSASetInfo = vsaSetInfo;
    record->dsp_isactive = dspIsActive;
    record->dsp_dosamples = dspDoSamples;
    record->SetInfo = setInfo;
    record->outMod = &output;

    record->Init();
    const std::string songPath = song.string();
    ASSERT_EQ(record->IsOurFile(songPath.c_str()), 1);
    char equaliser[10] = {};
    record->EQSet(1, equaliser, 0);
    ASSERT_EQ(record->Play(songPath.c_str()), 0);
    EXPECT_EQ(record->IsPaused(), 0);
    char title[64] = "unchanged";
    int lengthMs = -1;
    record->GetFileInfo(nullptr, title, &lengthMs);
    EXPECT_EQ(title, songTitle(song));
    EXPECT_NE(title[0], '\0');
    EXPECT_EQ(lengthMs, record->GetLength());
    EXPECT_GT(lengthMs, 200000);  // about 220 s
    EXPECT_LT(lengthMs, 240000);

    // The render thread posts the end of the song to the host's window.
    MSG message{};
    bool ended = false;
    const DWORD deadline = GetTickCount() + 300000;
    while (!ended && GetTickCount() < deadline) {
        if (PeekMessageA(&message, window, 0, 0, PM_REMOVE))
            ended = message.message == endOfSongMessage;
        else
            Sleep(10);
    }
    EXPECT_TRUE(ended) << "no end-of-song message";
    EXPECT_GE(record->GetOutputTime(), lengthMs - 50);
    record->Stop();
    record->Quit();
    DestroyWindow(window);
    FreeLibrary(dll);

    std::lock_guard<std::mutex> guard(heard.lock);
    EXPECT_EQ(heard.calls, (std::vector<std::string>{"Open", "SAVSAInit", "VSASetInfo", "SetInfo", "SAVSADeInit",
                                                      "Close"}));
    EXPECT_EQ(heard.openArgs, (std::vector<int>{44100, 2, 16, -1, -1}));
    EXPECT_EQ(heard.savsaInitArgs, (std::vector<int>{0, 44100}));
    EXPECT_EQ(heard.vsaSetInfoArgs, (std::vector<int>{44100, 2}));
    EXPECT_EQ(heard.setInfoArgs, (std::vector<int>{120000, 44, 2, 1}));
    EXPECT_EQ(heard.dspArgs, (std::vector<int>{576, 16, 2, 44100}));
    EXPECT_EQ(heard.lastVolume, -666);
    EXPECT_GT(heard.writes, 0);
    EXPECT_EQ(heard.dspBlocks, heard.writes);
    EXPECT_EQ(heard.saBlocks, heard.writes);
    EXPECT_EQ(heard.vsaBlocks, heard.writes);
    // The whole song, the last block whole, on both speakers alike.
    EXPECT_NEAR(heard.audio.data.size() / 4 * 1000.0 / 44100, lengthMs, 50);
    EXPECT_TRUE(velk::test::onBothSpeakers(heard.audio));
    for (const char *name : {"ruz2avu.exe", "$$.ims", "$$.rol"})
        EXPECT_FALSE(std::filesystem::exists(temp / name)) << name << " left in the workspace";
}

} // namespace
