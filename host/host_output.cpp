#include "host/host_output.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include "host/wav_file.h"

namespace velk::host {

namespace {

using Clock = std::chrono::steady_clock;

// Big enough for any block the plug-in hands over, DSP growth included.
constexpr int fastModeRoom = 1 << 20;

struct Output {
    std::mutex lock;
    OutputOptions options;
    OutputCounters counters;
    WavFile wav;
    bool open = false;
    int frameBytes = 0;

    // The clock: time = baseMs + frames since the last Open or Flush.
    int baseMs = 0;
    std::int64_t writtenSinceBase = 0;
    std::int64_t playedSinceBase = 0;
    std::int64_t totalWritten = 0;  // frames, over every Open
    std::int64_t holdAtMs = -1;
    bool discarding = false;  // until the next Open: audio taken and dropped

    // Real time only: written but not yet played bytes, and the play head.
    std::string pending;
    double frameCredit = 0;
    Clock::time_point lastAdvance;

    int msOf(std::int64_t frames) const
    {
        return counters.sampleRate > 0 ? static_cast<int>(frames * 1000 / counters.sampleRate) : 0;
    }

    void play(const char *bytes, std::size_t count)
    {
        wav.append(bytes, count);
        const std::int64_t frames = static_cast<std::int64_t>(count) / frameBytes;
        playedSinceBase += frames;
        counters.framesPlayed += frames;
    }

    // Moves the real-time play head up to now. An empty buffer stalls the
    // clock, as a sound card does when it runs dry.
    void advance()
    {
        if (!open || !options.realtime)
            return;
        const auto now = Clock::now();
        frameCredit += std::chrono::duration<double>(now - lastAdvance).count() * counters.sampleRate;
        lastAdvance = now;
        const std::int64_t pendingFrames = static_cast<std::int64_t>(pending.size()) / frameBytes;
        const std::int64_t frames = std::min(pendingFrames, static_cast<std::int64_t>(frameCredit));
        if (frames > 0) {
            const std::size_t bytes = static_cast<std::size_t>(frames * frameBytes);
            play(pending.data(), bytes);
            pending.erase(0, bytes);
            frameCredit -= static_cast<double>(frames);
        }
        if (pending.empty())
            frameCredit = 0;
    }

    void restartClock(int ms)
    {
        baseMs = ms;
        writtenSinceBase = 0;
        playedSinceBase = 0;
        pending.clear();
        frameCredit = 0;
        lastAdvance = Clock::now();
    }

    // Audio played or still to be played: what a flush discarded does not count.
    std::int64_t keptFrames() const
    {
        return counters.framesPlayed + static_cast<std::int64_t>(pending.size()) / std::max(frameBytes, 1);
    }

    std::int64_t framesOf(std::int64_t ms) const { return ms * counters.sampleRate / 1000; }
};

Output &output()
{
    static Output instance;
    return instance;
}

int outOpen(int sampleRate, int channels, int bitsPerSample, int, int)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    const bool validFormat = sampleRate > 0 && (channels == 1 || channels == 2) &&
                             (bitsPerSample == 8 || bitsPerSample == 16);
    if (!validFormat || o.open ||
        (!o.options.wavPath.empty() && !o.wav.create(o.options.wavPath, sampleRate, channels, bitsPerSample))) {
        ++o.counters.failedOpens;
        return -1;
    }
    ++o.counters.opens;
    o.open = true;
    o.counters.sampleRate = sampleRate;
    o.counters.channels = channels;
    o.counters.bitsPerSample = bitsPerSample;
    o.frameBytes = channels * bitsPerSample / 8;
    o.discarding = false;
    o.restartClock(0);
    return o.options.realtime ? o.options.bufferMs : 0;
}

void outClose()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    ++o.counters.closes;
    if (!o.open)
        return;
    o.advance();
    o.pending.clear();  // what was not heard yet is not heard at all
    if (!o.wav.close())
        o.counters.wavFailed = true;
    o.open = false;
}

int outWrite(char *buffer, int length)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    if (!o.open || length <= 0)
        return 0;
    if (o.counters.writes++ == 0)
        o.counters.firstWrite = Clock::now();
    if (o.discarding) {
        ++o.counters.discardedWrites;
        return 0;
    }
    const std::int64_t frames = length / o.frameBytes;
    o.writtenSinceBase += frames;
    o.totalWritten += frames;
    if (o.options.realtime) {
        o.advance();
        o.pending.append(buffer, static_cast<std::size_t>(length));
    } else {
        o.play(buffer, static_cast<std::size_t>(length));
    }
    return 0;
}

int outCanWrite()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    if (!o.open)
        return 0;
    if (o.discarding)
        return fastModeRoom;
    if (o.holdAtMs >= 0 && o.msOf(o.keptFrames()) >= o.holdAtMs)
        return 0;
    if (!o.options.realtime)
        return fastModeRoom;
    o.advance();
    const std::int64_t capacity = o.framesOf(o.options.bufferMs) * o.frameBytes;
    return static_cast<int>(std::max<std::int64_t>(0, capacity - static_cast<std::int64_t>(o.pending.size())));
}

int outIsPlaying()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.advance();
    return o.open && !o.pending.empty() ? 1 : 0;
}

int outPause(int pause)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    ++o.counters.pauseCalls;
    return pause ? 0 : 1;
}

void outSetVolume(int volume)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    ++o.counters.volumeCalls;
    o.counters.lastVolume = volume;
}

void outSetPan(int pan)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    ++o.counters.panCalls;
    o.counters.lastPan = pan;
}

void outFlush(int ms)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    ++o.counters.flushes;
    o.advance();
    o.restartClock(ms);
}

int outGetOutputTime()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.advance();
    return o.baseMs + o.msOf(o.playedSinceBase);
}

int outGetWrittenTime()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    return o.baseMs + o.msOf(o.writtenSinceBase);
}

void outConfig(HostWindow) {}
void outAbout(HostWindow) {}
void outInit() {}
void outQuit() {}

char outDescription[] = "velkhost WAV output";

} // namespace

Out_Module &hostOutputModule()
{
    static Out_Module record = {
        0x10, outDescription, 0, nullptr, nullptr, outConfig, outAbout, outInit, outQuit, outOpen, outClose,
        outWrite, outCanWrite, outIsPlaying, outPause, outSetVolume, outSetPan, outFlush, outGetOutputTime,
        outGetWrittenTime,
    };
    return record;
}

void configureOutput(const OutputOptions &options)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.options = options;
    o.counters = OutputCounters{};
    o.totalWritten = 0;
    o.holdAtMs = -1;
    o.discarding = false;
    o.restartClock(0);
}

OutputCounters outputCounters()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.advance();
    return o.counters;
}

bool outputIsOpen()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    return o.open;
}

std::int64_t playedMs()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.advance();
    return o.msOf(o.counters.framesPlayed);
}

std::int64_t writtenMs()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    return o.msOf(o.totalWritten);
}

void holdOutputAt(std::int64_t ms)
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.holdAtMs = ms;
}

void discardFurtherAudio()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.discarding = o.open;
}

void releaseOutput()
{
    Output &o = output();
    std::lock_guard<std::mutex> guard(o.lock);
    o.holdAtMs = -1;
}

} // namespace velk::host
