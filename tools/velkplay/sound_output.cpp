#include "tools/velkplay/sound_output.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "tools/velkplay/audio_ring.h"

namespace velk::play {

namespace {

// Room for a second of audio: the render thread may be held up that long
// before the device runs dry. The plug-in flushes it when it pauses, and
// goes on after the pause from where it had rendered, so a pause also skips
// what the ring held: more room would skip more.
constexpr int ringMs = 1000;
// The device starts (again) once this much is buffered, so that a render
// thread held up just after an open or a flush does not let it run dry. The
// plug-in renders many times faster than real time, so this costs a few
// milliseconds.
constexpr int prebufferMs = 500;
// About 23 ms at 44100 Hz: the step of the clock.
constexpr Uint16 deviceFrames = 1024;
// After the last sample has left the ring, the device asks this often more
// before the sound it took has been played.
constexpr int drainCallbacks = 2;

struct Output {
    std::string deviceName;
    SDL_AudioDeviceID device = 0;
    std::unique_ptr<AudioRing> ring;
    int sampleRate = 0;
    int frameBytes = 0;
    Uint8 silence = 0;
    std::size_t prebufferBytes = 0;
    bool started = false;  // writer's side: the device is running
    // Callbacks that found the ring empty since it last held audio.
    std::atomic<int> idleCallbacks{0};

    // The clock: time = baseMs + what the device consumed since baseRead.
    std::mutex clockLock;
    int baseMs = 0;
    std::uint64_t baseRead = 0;

    int msOf(std::uint64_t bytes) const
    {
        return static_cast<int>(bytes / static_cast<std::uint64_t>(frameBytes) * 1000 /
                                static_cast<std::uint64_t>(sampleRate));
    }

    void run(bool on)
    {
        started = on;
        SDL_PauseAudioDevice(device, on ? 0 : 1);
    }
};

Output &output()
{
    static Output instance;
    return instance;
}

void SDLCALL feedDevice(void *context, Uint8 *stream, int length)
{
    auto &o = *static_cast<Output *>(context);
    const std::size_t got = o.ring->read(reinterpret_cast<char *>(stream), static_cast<std::size_t>(length));
    if (got < static_cast<std::size_t>(length)) {
        // Run dry (the end of a song, or the render thread held up): silence.
        std::memset(stream + got, o.silence, static_cast<std::size_t>(length) - got);
        if (got == 0)
            ++o.idleCallbacks;
    } else {
        o.idleCallbacks = 0;
    }
}

SDL_AudioDeviceID openDevice(const std::string &name, int sampleRate, int channels, int bitsPerSample,
                             void *context, SDL_AudioSpec &obtained)
{
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = bitsPerSample == 16 ? AUDIO_S16SYS : AUDIO_U8;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = deviceFrames;
    wanted.callback = context ? feedDevice : nullptr;
    wanted.userdata = context;
    // No changes allowed: SDL converts to what the card wants, and the
    // callback sees exactly the plug-in's format.
    return SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &wanted, &obtained, 0);
}

int outOpen(int sampleRate, int channels, int bitsPerSample, int, int)
{
    Output &o = output();
    const bool validFormat = sampleRate > 0 && (channels == 1 || channels == 2) &&
                             (bitsPerSample == 8 || bitsPerSample == 16);
    if (!validFormat || o.device != 0)
        return -1;
    o.sampleRate = sampleRate;
    o.frameBytes = channels * bitsPerSample / 8;
    const auto bytesPerSecond = static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(o.frameBytes);
    o.ring = std::make_unique<AudioRing>(bytesPerSecond * ringMs / 1000 / o.frameBytes * o.frameBytes);
    o.prebufferBytes = bytesPerSecond * prebufferMs / 1000 / o.frameBytes * o.frameBytes;
    o.idleCallbacks = 0;
    o.baseMs = 0;
    o.baseRead = 0;
    o.started = false;
    SDL_AudioSpec obtained{};
    o.device = openDevice(o.deviceName, sampleRate, channels, bitsPerSample, &o, obtained);
    if (o.device == 0) {
        o.ring.reset();
        return -1;
    }
    o.silence = obtained.silence;
    return ringMs;
}

void outClose()
{
    Output &o = output();
    if (o.device == 0)
        return;
    // Waits for the audio thread, so the callback is done with the ring.
    SDL_CloseAudioDevice(o.device);
    std::lock_guard<std::mutex> guard(o.clockLock);
    o.device = 0;
    o.started = false;
    o.ring.reset();
}

int outWrite(char *buffer, int length)
{
    Output &o = output();
    if (o.device == 0 || length <= 0)
        return 0;
    o.ring->write(buffer, static_cast<std::size_t>(length));
    if (!o.started && o.ring->size() >= o.prebufferBytes)
        o.run(true);
    return 0;
}

int outCanWrite()
{
    Output &o = output();
    return o.device == 0 ? 0 : static_cast<int>(o.ring->room());
}

int outIsPlaying()
{
    Output &o = output();
    if (o.device == 0)
        return 0;
    if (o.ring->size() > 0) {
        // The song ended before the prebuffer filled: play what there is.
        if (!o.started)
            o.run(true);
        return 1;
    }
    return o.started && o.idleCallbacks < drainCallbacks ? 1 : 0;
}

int outPause(int pause)
{
    Output &o = output();
    if (o.device == 0)
        return 0;
    const int was = SDL_GetAudioDeviceStatus(o.device) == SDL_AUDIO_PAUSED ? 1 : 0;
    o.run(!pause);
    return was;
}

// The plug-in asks to keep the host's volume; velkplay has no volume of its own.
void outSetVolume(int) {}
void outSetPan(int) {}

void outFlush(int ms)
{
    Output &o = output();
    if (o.device == 0)
        return;
    // Held off the callback, the ring is the writer's alone. The device waits
    // for a new prebuffer, so the audio after a seek starts whole.
    SDL_LockAudioDevice(o.device);
    o.ring->clear();
    o.idleCallbacks = 0;
    {
        std::lock_guard<std::mutex> guard(o.clockLock);
        o.baseMs = ms;
        o.baseRead = o.ring->totalRead();
    }
    SDL_UnlockAudioDevice(o.device);
    o.run(false);
}

// The clock's time at the ring's read total (heard) or write total (written).
template <typename Total>
int clockTime(Total total)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.clockLock);
    return o.ring ? o.baseMs + o.msOf(total(*o.ring) - o.baseRead) : 0;
}

int outGetOutputTime() { return clockTime([](const AudioRing &ring) { return ring.totalRead(); }); }
int outGetWrittenTime() { return clockTime([](const AudioRing &ring) { return ring.totalWritten(); }); }

void outConfig(HostWindow) {}
void outAbout(HostWindow) {}
void outInit() {}
void outQuit() {}

char outDescription[] = "velkplay SDL2 output";

} // namespace

bool startSound(const std::string &device, std::string &error)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return false;
    }
    // A trial open in the plug-in's format: a missing or busy device shows
    // now, not as a song that fails to play.
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID trial = openDevice(device, 44100, 2, 16, nullptr, obtained);
    if (trial == 0) {
        error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_CloseAudioDevice(trial);
    output().deviceName = device;
    return true;
}

void stopSound() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

Out_Module &soundOutputModule()
{
    static Out_Module record = {
        0x10, outDescription, 0, nullptr, nullptr, outConfig, outAbout, outInit, outQuit, outOpen, outClose,
        outWrite, outCanWrite, outIsPlaying, outPause, outSetVolume, outSetPan, outFlush, outGetOutputTime,
        outGetWrittenTime,
    };
    return record;
}

} // namespace velk::play
