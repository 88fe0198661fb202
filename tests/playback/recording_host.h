// A host for tests: an In_Module whose host functions and output module
// record every call. The output keeps a simulated clock in bytes: what is
// written is buffered, and plays out when the test says so (at each CanWrite
// poll, or a set amount at each IsPlaying poll), never by wall time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host_interface.h"
#include "tests/playback/end_of_song_probe.h"

namespace velk::test {

// What the DSP chain does with a block of n frames.
enum class Dsp { same, twice, none };

struct HostRecord {
    // Calls in order, as text: "Open(44100,2,16,-1,-1)", "Flush(120)", ...
    // CanWrite and GetWrittenTime are counted only; IsPlaying is logged
    // when it answers 0; Write, dsp_dosamples and the visualisation calls
    // are logged unless blocks are counted only.
    std::vector<std::string> calls;
    int writes = 0;
    int dspCalls = 0;
    int saCalls = 0;
    int vsaCalls = 0;
    int canWritePolls = 0;
    int isPlayingPolls = 0;
    int endOfSongPosts = 0;
    std::vector<int> writeSizes;
    std::vector<int> saTimes;  // the GetWrittenTime handed to SAAddPCMData
    std::string audio;         // the bytes written, when kept
    int dspBitsPerSample = 0, dspChannels = 0, dspRate = 0;
    int saChannels = 0, saBitsPerSample = 0;
    int vsaChannels = 0, vsaBitsPerSample = 0;
    // The simulated output.
    std::int64_t bufferedBytes = 0;
    std::int64_t playedBytes = 0;
    int timeBaseMs = 0;
    int bytesPerSecond = 0;
};

struct HostKnobs {
    int openResult = 250;           // Open's answer: latency, or negative
    Dsp dsp = Dsp::same;
    bool room = true;               // false: CanWrite answers 0
    std::int64_t capacityBytes = 1 << 28;  // CanWrite answers what is left of it
    bool keepsUp = true;            // each CanWrite poll plays out all that is buffered
    int playOutPerIsPlaying = 0;    // bytes each IsPlaying poll plays out
    bool keepAudio = false;
    bool countBlocksOnly = false;   // keep per-block calls out of the log
    std::function<void()> onDsp;    // runs on the render thread at each dsp_dosamples
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost &) = delete;
    RecordingHost &operator=(const RecordingHost &) = delete;

    In_Module module{};
    Out_Module output{};

    // Changes the knobs, also while a song plays.
    void set(const std::function<void(HostKnobs &)> &change);
    // Reads the record under the host's lock (window messages delivered first).
    template <typename Reader>
    auto read(Reader reader)
    {
        probe_.deliver();
        std::lock_guard<std::mutex> lock(mutex_);
        return reader(static_cast<const HostRecord &>(record_));
    }
    std::vector<std::string> calls() { return read([](const HostRecord &r) { return r.calls; }); }
    // Polls the record until the condition holds or the time runs out.
    bool waitFor(const std::function<bool(const HostRecord &)> &condition,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Forgets every call and count (the output's clock and knobs stay).
    void clearRecord();
    // Plays out up to `bytes` of the buffered output.
    void playOut(std::int64_t bytes);

private:
    static RecordingHost *active_;
    // The active host, locked for one host call.
    struct Locked {
        RecordingHost &host;
        std::unique_lock<std::mutex> lock;
    };
    static Locked lockedHost() { return {*active_, std::unique_lock<std::mutex>(active_->mutex_)}; }
    void log(std::string call);
    int timeOf(std::int64_t bytes) const;
    static void receiveMessage(void *context, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void installFunctions();

    std::mutex mutex_;
    HostRecord record_;
    HostKnobs knobs_;
    EndOfSongProbe probe_;
};

} // namespace velk::test
