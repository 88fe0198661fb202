// The records that the Winamp host and an input plug-in exchange, declared
// with the member order and types of the host's own SDK, since no SDK is at
// hand. On i686 every member is one word of 4 bytes; on x86_64 the `int`
// members stay 4 bytes, so the two after `FileExtensions` share one 8-byte
// slot, and the checks at the end hold both layouts to the host's. Functions
// use the platform's default C calling convention.
#pragma once

#include <cstddef>
#include <cstdint>

// HWND on Windows. On Linux the host passes an EndOfSongSink instead.
using HostWindow = void *;
// HINSTANCE on Windows; on Linux the handle the host loaded the module with.
using HostInstance = void *;

// The message the render thread posts to the host's main window at the end
// of a song.
constexpr unsigned hostEndOfSongMessage = 0x0400 + 2;  // WM_USER + 2

// What stands in for the host's main window on Linux: a function that
// receives what Windows would post as a window message.
struct EndOfSongSink {
    void (*post)(void *context, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void *context;
};

extern "C" {

struct Out_Module {
    int version;
    char *description;
    std::intptr_t id;
    HostWindow hMainWindow;
    HostInstance hDllInstance;
    void (*Config)(HostWindow hwndParent);
    void (*About)(HostWindow hwndParent);
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

struct In_Module {
    int version;
    char *description;
    HostWindow hMainWindow;
    HostInstance hDllInstance;
    char *FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void (*Config)(HostWindow hwndParent);
    void (*About)(HostWindow hwndParent);
    void (*Init)();
    void (*Quit)();
    void (*GetFileInfo)(const char *file, char *title, int *length_in_ms);
    int (*InfoBox)(const char *file, HostWindow hwndParent);
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
    Out_Module *outMod;
};

// The plug-in's one export.
typedef In_Module *(*GetInModule2Function)();

} // extern "C"

// Where the host finds each member: on i686 member i at 4 * i; on x86_64 the
// pointers are 8-byte aligned, so the ints before a pointer take 8 bytes and
// the adjacent `is_seekable` and `UsesOutputPlug` take 4 each.
#if UINTPTR_MAX == 0xFFFFFFFFu
#define VELK_HOST_OFFSET(record, member, i686, x86_64) \
    static_assert(offsetof(record, member) == (i686), #record "::" #member " lies where the host reads it")
#else
#define VELK_HOST_OFFSET(record, member, i686, x86_64) \
    static_assert(offsetof(record, member) == (x86_64), #record "::" #member " lies where the host reads it")
#endif

VELK_HOST_OFFSET(In_Module, version, 0, 0);
VELK_HOST_OFFSET(In_Module, description, 4, 8);
VELK_HOST_OFFSET(In_Module, hMainWindow, 8, 16);
VELK_HOST_OFFSET(In_Module, hDllInstance, 12, 24);
VELK_HOST_OFFSET(In_Module, FileExtensions, 16, 32);
VELK_HOST_OFFSET(In_Module, is_seekable, 20, 40);
VELK_HOST_OFFSET(In_Module, UsesOutputPlug, 24, 44);
VELK_HOST_OFFSET(In_Module, Config, 28, 48);
VELK_HOST_OFFSET(In_Module, About, 32, 56);
VELK_HOST_OFFSET(In_Module, Init, 36, 64);
VELK_HOST_OFFSET(In_Module, Quit, 40, 72);
VELK_HOST_OFFSET(In_Module, GetFileInfo, 44, 80);
VELK_HOST_OFFSET(In_Module, InfoBox, 48, 88);
VELK_HOST_OFFSET(In_Module, IsOurFile, 52, 96);
VELK_HOST_OFFSET(In_Module, Play, 56, 104);
VELK_HOST_OFFSET(In_Module, Pause, 60, 112);
VELK_HOST_OFFSET(In_Module, UnPause, 64, 120);
VELK_HOST_OFFSET(In_Module, IsPaused, 68, 128);
VELK_HOST_OFFSET(In_Module, Stop, 72, 136);
VELK_HOST_OFFSET(In_Module, GetLength, 76, 144);
VELK_HOST_OFFSET(In_Module, GetOutputTime, 80, 152);
VELK_HOST_OFFSET(In_Module, SetOutputTime, 84, 160);
VELK_HOST_OFFSET(In_Module, SetVolume, 88, 168);
VELK_HOST_OFFSET(In_Module, SetPan, 92, 176);
VELK_HOST_OFFSET(In_Module, SAVSAInit, 96, 184);
VELK_HOST_OFFSET(In_Module, SAVSADeInit, 100, 192);
VELK_HOST_OFFSET(In_Module, SAAddPCMData, 104, 200);
VELK_HOST_OFFSET(In_Module, SAGetMode, 108, 208);
VELK_HOST_OFFSET(In_Module, SAAdd, 112, 216);
VELK_HOST_OFFSET(In_Module, VSAAddPCMData, 116, 224);
VELK_HOST_OFFSET(In_Module, VSAGetMode, 120, 232);
VELK_HOST_OFFSET(In_Module, VSAAdd, 124, 240);
VELK_HOST_OFFSET(In_Module, VSASetInfo, 128, 248);
VELK_HOST_OFFSET(In_Module, dsp_isactive, 132, 256);
VELK_HOST_OFFSET(In_Module, dsp_dosamples, 136, 264);
VELK_HOST_OFFSET(In_Module, EQSet, 140, 272);
VELK_HOST_OFFSET(In_Module, SetInfo, 144, 280);
VELK_HOST_OFFSET(In_Module, outMod, 148, 288);

VELK_HOST_OFFSET(Out_Module, version, 0, 0);
VELK_HOST_OFFSET(Out_Module, description, 4, 8);
VELK_HOST_OFFSET(Out_Module, id, 8, 16);
VELK_HOST_OFFSET(Out_Module, hMainWindow, 12, 24);
VELK_HOST_OFFSET(Out_Module, hDllInstance, 16, 32);
VELK_HOST_OFFSET(Out_Module, Config, 20, 40);
VELK_HOST_OFFSET(Out_Module, About, 24, 48);
VELK_HOST_OFFSET(Out_Module, Init, 28, 56);
VELK_HOST_OFFSET(Out_Module, Quit, 32, 64);
VELK_HOST_OFFSET(Out_Module, Open, 36, 72);
VELK_HOST_OFFSET(Out_Module, Close, 40, 80);
VELK_HOST_OFFSET(Out_Module, Write, 44, 88);
VELK_HOST_OFFSET(Out_Module, CanWrite, 48, 96);
VELK_HOST_OFFSET(Out_Module, IsPlaying, 52, 104);
VELK_HOST_OFFSET(Out_Module, Pause, 56, 112);
VELK_HOST_OFFSET(Out_Module, SetVolume, 60, 120);
VELK_HOST_OFFSET(Out_Module, SetPan, 64, 128);
VELK_HOST_OFFSET(Out_Module, Flush, 68, 136);
VELK_HOST_OFFSET(Out_Module, GetOutputTime, 72, 144);
VELK_HOST_OFFSET(Out_Module, GetWrittenTime, 76, 152);

#undef VELK_HOST_OFFSET

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(In_Module) == 38 * 4, "the 32-bit host reads a record of 38 words");
static_assert(sizeof(Out_Module) == 20 * 4, "the 32-bit output module record is 20 words");
#else
static_assert(sizeof(In_Module) == 296, "the 64-bit host reads a record of 296 bytes");
static_assert(sizeof(Out_Module) == 160, "the 64-bit output module record is 160 bytes");
#endif
