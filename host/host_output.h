// The output module that velkhost lends the plug-in: it "plays" the audio into
// a WAV file. Its clock either runs as fast as the audio is written (each
// block counts as played the moment it arrives) or in real time behind a
// buffer of `bufferMs`. The host can hold the output at a point of the audio
// (the output then reports no room) to take a scripted step exactly there.
//
// The host record gives its functions no context, so there is one output per
// process, reached through these free functions.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/host_interface.h"

namespace velk::host {

struct OutputOptions {
    std::string wavPath;  // empty: the audio is counted but kept nowhere
    bool realtime = false;
    int bufferMs = 500;   // the real-time buffer, reported as the latency
};

struct OutputCounters {
    int opens = 0;
    int failedOpens = 0;
    int closes = 0;
    int flushes = 0;
    int writes = 0;
    int discardedWrites = 0;  // blocks that came after discardFurtherAudio
    int pauseCalls = 0;       // the module must never call Pause
    int lastVolume = 0;
    int lastPan = 0;
    int volumeCalls = 0;
    int panCalls = 0;
    int sampleRate = 0;       // format of the last Open
    int channels = 0;
    int bitsPerSample = 0;
    std::int64_t framesPlayed = 0;  // all audio played so far, over every Open
    bool wavFailed = false;         // a WAV file could not be written whole
    std::chrono::steady_clock::time_point firstWrite{};  // of the first block with audio
};

// The record handed to the plug-in as `outMod`.
Out_Module &hostOutputModule();

// Resets counters and settings; call while the output is closed.
void configureOutput(const OutputOptions &options);
OutputCounters outputCounters();
bool outputIsOpen();

// Milliseconds of audio played so far (the WAV's length), over every Open.
std::int64_t playedMs();
// Milliseconds of audio written so far, played or still buffered.
std::int64_t writtenMs();

// From now on the output takes no more audio once `ms` of audio have been
// played or are waiting to be played, until released or held at a later
// point. Audio discarded by a flush does not count.
void holdOutputAt(std::int64_t ms);
void releaseOutput();

// Until the next Open, the output takes every block at once and drops it, so
// that a render thread waiting for room can go on to see a stop, and nothing
// after the stop point is heard.
void discardFurtherAudio();

} // namespace velk::host
