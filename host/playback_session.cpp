#include "host/playback_session.h"

#include <chrono>
#include <vector>

#include "host/host_output.h"

namespace velk::host {

namespace {

using Clock = std::chrono::steady_clock;

// Longer than any title the player hands over; GetFileInfo may leave it alone.
constexpr std::size_t titleBufferSize = 512;

class Watchdog {
public:
    explicit Watchdog(int timeoutMs) : timeout_(std::chrono::milliseconds(timeoutMs)) { reset(); }
    void reset()
    {
        lastWritten_ = writtenMs();
        lastChange_ = Clock::now();
    }
    bool stalled()
    {
        const std::int64_t written = writtenMs();
        if (written != lastWritten_) {
            lastWritten_ = written;
            lastChange_ = Clock::now();
        }
        return Clock::now() - lastChange_ > timeout_;
    }

private:
    std::chrono::milliseconds timeout_;
    std::int64_t lastWritten_ = 0;
    Clock::time_point lastChange_;
};

enum class Wait { reached, songEnded, stalled };

// Pumps the window until `done` holds, the song has ended or nothing moves.
template <typename Done>
Wait waitFor(EndOfSongReceiver &receiver, int endMessagesBefore, Watchdog &watchdog, Done done)
{
    for (;;) {
        if (done())
            return Wait::reached;
        if (receiver.endOfSongMessages() > endMessagesBefore)
            return Wait::songEnded;
        if (watchdog.stalled())
            return Wait::stalled;
        receiver.pump(5);
    }
}

void pumpFor(EndOfSongReceiver &receiver, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end)
        receiver.pump(5);
}

} // namespace

SessionResult playSong(In_Module &module, const std::string &song, EndOfSongReceiver &receiver,
                       const SessionOptions &options)
{
    SessionResult result;
    // The receiver may have served songs before this one.
    const int endMessagesBefore = receiver.endOfSongMessages();
    const int otherMessagesBefore = receiver.otherMessages();
    releaseOutput();
    // The first step's point is held from the start, so it is taken exactly there.
    if (!options.steps.empty())
        holdOutputAt(options.steps.front().atMs);
    result.playResult = module.Play(song.c_str());
    if (result.playResult != 0) {
        releaseOutput();
        return result;
    }

    std::vector<char> title(titleBufferSize, '\0');
    module.GetFileInfo(song.c_str(), title.data(), &result.lengthMs);
    result.title = title.data();
    if (options.onStarted)
        options.onStarted(result.title, result.lengthMs);

    Watchdog watchdog(options.stallTimeoutMs);
    Wait last = Wait::reached;
    for (std::size_t i = 0; i < options.steps.size() && last == Wait::reached; ++i) {
        const ScriptStep &step = options.steps[i];
        last = waitFor(receiver, endMessagesBefore, watchdog, [&] { return playedMs() >= step.atMs; });
        if (last != Wait::reached)
            break;
        ++result.stepsTaken;
        result.outputTimeAtStep.push_back(module.GetOutputTime());
        // The render thread is waiting for room with one block in hand. The
        // step is requested first and the output opened after, so the thread
        // writes that block and meets the request at the top of its next pass.
        auto openToNextStep = [&] {
            if (i + 1 < options.steps.size())
                holdOutputAt(options.steps[i + 1].atMs);
            else
                releaseOutput();
        };
        switch (step.kind) {
        case ScriptStep::Kind::seek:
            module.SetOutputTime(step.valueMs);
            openToNextStep();
            break;
        case ScriptStep::Kind::pause: {
            const int flushesBefore = outputCounters().flushes;
            module.Pause();
            openToNextStep();
            result.pausedFlags.push_back(module.IsPaused());
            // The held block goes out first; the thread then flushes the
            // output as it takes the pause up.
            const auto giveUp = Clock::now() + std::chrono::seconds(2);
            while (outputCounters().flushes == flushesBefore && Clock::now() < giveUp)
                receiver.pump(1);
            const std::int64_t before = playedMs();
            pumpFor(receiver, step.valueMs);
            result.playedDuringPauseMs.push_back(playedMs() - before);
            module.UnPause();
            watchdog.reset();
            break;
        }
        case ScriptStep::Kind::stop:
            // A thread left waiting for room could not see the stop (and
            // would have to be terminated), so the output takes what comes
            // from here on, but nothing after this point is heard.
            discardFurtherAudio();
            result.stoppedByScript = true;
            break;
        }
        if (result.stoppedByScript)
            break;
    }
    releaseOutput();

    if (!result.stoppedByScript && last == Wait::reached)
        last = waitFor(receiver, endMessagesBefore, watchdog, [] { return false; });
    result.endedBySong = last == Wait::songEnded;
    result.stalled = last == Wait::stalled;

    // The player answers the end-of-song message with Stop, as it does for
    // every other end.
    module.Stop();
    receiver.pump(0);
    result.endOfSongMessages = receiver.endOfSongMessages() - endMessagesBefore;
    result.otherMessages = receiver.otherMessages() - otherMessagesBefore;
    return result;
}

} // namespace velk::host
