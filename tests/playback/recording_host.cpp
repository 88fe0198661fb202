#include "tests/playback/recording_host.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace velk::test {

RecordingHost *RecordingHost::active_ = nullptr;

namespace {

std::string text(const char *name, std::initializer_list<long long> arguments)
{
    std::string call = name;
    call += '(';
    bool first = true;
    for (long long argument : arguments) {
        if (!first)
            call += ',';
        call += std::to_string(argument);
        first = false;
    }
    return call + ')';
}

} // namespace

RecordingHost::RecordingHost() : probe_(receiveMessage, this)
{
    active_ = this;
    installFunctions();
    module.version = 0x100;
    module.hMainWindow = probe_.window();
    module.outMod = &output;
}

RecordingHost::~RecordingHost()
{
    active_ = nullptr;
}

void RecordingHost::set(const std::function<void(HostKnobs &)> &change)
{
    std::lock_guard<std::mutex> lock(mutex_);
    change(knobs_);
}

bool RecordingHost::waitFor(const std::function<bool(const HostRecord &)> &condition,
                            std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!read(condition)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void RecordingHost::clearRecord()
{
    probe_.deliver();
    std::lock_guard<std::mutex> lock(mutex_);
    HostRecord fresh;
    fresh.bufferedBytes = record_.bufferedBytes;
    fresh.playedBytes = record_.playedBytes;
    fresh.timeBaseMs = record_.timeBaseMs;
    fresh.bytesPerSecond = record_.bytesPerSecond;
    record_ = std::move(fresh);
}

void RecordingHost::playOut(std::int64_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t played = std::min(bytes, record_.bufferedBytes);
    record_.bufferedBytes -= played;
    record_.playedBytes += played;
}

void RecordingHost::log(std::string call)
{
    record_.calls.push_back(std::move(call));
}

int RecordingHost::timeOf(std::int64_t bytes) const
{
    if (record_.bytesPerSecond == 0)
        return record_.timeBaseMs;
    return record_.timeBaseMs + static_cast<int>(bytes * 1000 / record_.bytesPerSecond);
}

void RecordingHost::receiveMessage(void *context, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto &self = *static_cast<RecordingHost *>(context);
    std::lock_guard<std::mutex> lock(self.mutex_);
    ++self.record_.endOfSongPosts;
    self.log(text("Post", {message, static_cast<long long>(wParam), static_cast<long long>(lParam)}));
}

void RecordingHost::installFunctions()
{
    // Host functions are plain C pointers: they reach the host through
    // active_, and take its lock since two threads call them.
    output.Open = [](int rate, int channels, int bits, int bufferMs, int prebufferMs) {
        auto [h, lock] = lockedHost();
        h.log(text("Open", {rate, channels, bits, bufferMs, prebufferMs}));
        h.record_.bytesPerSecond = rate * channels * bits / 8;
        h.record_.bufferedBytes = h.record_.playedBytes = 0;
        h.record_.timeBaseMs = 0;
        return h.knobs_.openResult;
    };
    output.Close = [] {
        auto [h, lock] = lockedHost();
        h.log("Close");
    };
    output.Write = [](char *buffer, int length) {
        auto [h, lock] = lockedHost();
        if (!h.knobs_.countBlocksOnly)
            h.log(text("Write", {length}));
        ++h.record_.writes;
        h.record_.writeSizes.push_back(length);
        h.record_.bufferedBytes += length;
        if (h.knobs_.keepAudio)
            h.record_.audio.append(buffer, static_cast<std::size_t>(length));
        return 0;
    };
    output.CanWrite = [] {
        auto [h, lock] = lockedHost();
        ++h.record_.canWritePolls;
        if (!h.knobs_.room)
            return 0;
        if (h.knobs_.keepsUp) {
            h.record_.playedBytes += h.record_.bufferedBytes;
            h.record_.bufferedBytes = 0;
        }
        return static_cast<int>(std::max<std::int64_t>(0, h.knobs_.capacityBytes - h.record_.bufferedBytes));
    };
    output.IsPlaying = [] {
        auto [h, lock] = lockedHost();
        ++h.record_.isPlayingPolls;
        const std::int64_t played = std::min<std::int64_t>(h.knobs_.playOutPerIsPlaying, h.record_.bufferedBytes);
        h.record_.bufferedBytes -= played;
        h.record_.playedBytes += played;
        const int playing = h.record_.bufferedBytes > 0;
        if (!playing)
            h.log("IsPlaying=0");
        return playing;
    };
    output.Pause = [](int) {
        auto [h, lock] = lockedHost();
        h.log("Pause");
        return 0;
    };
    output.SetVolume = [](int volume) {
        auto [h, lock] = lockedHost();
        h.log(text("SetVolume", {volume}));
    };
    output.SetPan = [](int pan) {
        auto [h, lock] = lockedHost();
        h.log(text("SetPan", {pan}));
    };
    output.Flush = [](int timeMs) {
        auto [h, lock] = lockedHost();
        h.log(text("Flush", {timeMs}));
        h.record_.timeBaseMs = timeMs;
        h.record_.bufferedBytes = h.record_.playedBytes = 0;
    };
    output.GetOutputTime = [] {
        auto [h, lock] = lockedHost();
        const int time = h.timeOf(h.record_.playedBytes);
        h.log("GetOutputTime=" + std::to_string(time));
        return time;
    };
    output.GetWrittenTime = [] {
        auto [h, lock] = lockedHost();
        return h.timeOf(h.record_.playedBytes + h.record_.bufferedBytes);
    };

    module.SAVSAInit = [](int latencyMs, int rate) {
        auto [h, lock] = lockedHost();
        h.log(text("SAVSAInit", {latencyMs, rate}));
    };
    module.SAVSADeInit = [] {
        auto [h, lock] = lockedHost();
        h.log("SAVSADeInit");
    };
    module.VSASetInfo = [](int rate, int channels) {
        auto [h, lock] = lockedHost();
        h.log(text("VSASetInfo", {rate, channels}));
    };
    module.SetInfo = [](int bitRate, int rateKhz, int channels, int synched) {
        auto [h, lock] = lockedHost();
        h.log(text("SetInfo", {bitRate, rateKhz, channels, synched}));
    };
    module.SAAddPCMData = [](void *, int channels, int bits, int timestamp) {
        auto [h, lock] = lockedHost();
        if (!h.knobs_.countBlocksOnly)
            h.log("SAAddPCMData");
        ++h.record_.saCalls;
        h.record_.saChannels = channels;
        h.record_.saBitsPerSample = bits;
        h.record_.saTimes.push_back(timestamp);
    };
    module.VSAAddPCMData = [](void *, int channels, int bits, int) {
        auto [h, lock] = lockedHost();
        if (!h.knobs_.countBlocksOnly)
            h.log("VSAAddPCMData");
        ++h.record_.vsaCalls;
        h.record_.vsaChannels = channels;
        h.record_.vsaBitsPerSample = bits;
    };
    module.dsp_dosamples = [](short *samples, int frames, int bits, int channels, int rate) {
        std::function<void()> onDsp;
        int result = frames;
        {
            auto [h, lock] = lockedHost();
            if (!h.knobs_.countBlocksOnly)
                h.log(text("dsp", {frames}));
            ++h.record_.dspCalls;
            h.record_.dspBitsPerSample = bits;
            h.record_.dspChannels = channels;
            h.record_.dspRate = rate;
            onDsp = h.knobs_.onDsp;
            if (h.knobs_.dsp == Dsp::twice) {
                // An echo of the whole block after it: the buffer must have room.
                const std::size_t blockBytes = static_cast<std::size_t>(frames) * bits / 8 * channels;
                auto *bytes = reinterpret_cast<char *>(samples);
                std::memcpy(bytes + blockBytes, bytes, blockBytes);
                result = 2 * frames;
            } else if (h.knobs_.dsp == Dsp::none) {
                result = 0;
            }
        }
        if (onDsp)
            onDsp();
        return result;
    };
}

} // namespace velk::test
