// The records that the Winamp host and an input plug-in exchange, declared
// here since no SDK is at hand. The member order is the host's; every member
// is pointer-sized, so the 32-bit record is 38 words of 4 bytes. Functions
// use the platform's default C calling convention.
#pragma once

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
    std::intptr_t version;
    const char *description;
    HostWindow hMainWindow;
    HostInstance hDllInstance;
    const char *FileExtensions;
    std::intptr_t is_seekable;
    std::intptr_t UsesOutputPlug;
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

static_assert(sizeof(In_Module) == 38 * sizeof(void *), "In_Module is 38 pointer-sized members");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(In_Module) == 38 * 4, "the 32-bit host reads a record of 38 words");
static_assert(sizeof(Out_Module) == 20 * 4, "the 32-bit output module record");
#endif
