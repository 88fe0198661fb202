#include "playback/playback_controller.h"

#include <algorithm>
#include <exception>
#include <new>

#include <adplug.h>
#include <fprovide.h>
#include <player.h>

#include "playback/song_length.h"
#include "playback/tick_rate.h"
#include "rol/opl2_chip.h"

namespace velk {

namespace {

// Bit rate the host shows for every song.
constexpr int reportedBitRate = 120000;
// Volume value that tells the output module to keep the host's volume.
constexpr int keepHostVolume = -666;

// Host-supplied functions may be missing in a host that does not visualise.
template <typename Function, typename... Arguments>
void callIfGiven(Function function, Arguments... arguments)
{
    if (function)
        function(arguments...);
}

} // namespace

Copl *createEmulatedChip(int sampleRate, bool use16Bit, bool stereo)
{
    try {
        return makeOpl2Chip(sampleRate, use16Bit, stereo).release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

const CFileProvider &filesystemProvider()
{
    static const CProvider_Filesystem provider;
    return provider;
}

int renderThreadPriority(int priorityIndex)
{
    // THREAD_PRIORITY_IDLE, _LOWEST, _BELOW_NORMAL, _NORMAL, _ABOVE_NORMAL,
    // _HIGHEST, _TIME_CRITICAL.
    static constexpr int priorities[] = {-15, -2, -1, 0, 1, 2, 15};
    if (priorityIndex < 0 || priorityIndex >= static_cast<int>(std::size(priorities)))
        return 0;
    return priorities[priorityIndex];
}

int renderThreadStopWaitMs(float tickRateHz)
{
    // Bounded both ways: a few polls at least, and no longer than for a
    // player ticking once a second, however slow the song.
    constexpr int shortestWaitMs = 100, longestWaitMs = 7000;
    return std::clamp(static_cast<int>(7000.0f / boundedTickRate(tickRateHz)), shortestWaitMs, longestWaitMs);
}

PlaybackController::PlaybackController(In_Module &host, const PlaybackSettings &settings, const CPlayers &players,
                                       const CFileProvider &files, ChipFactory createChip)
    : host_(host), settings_(settings), players_(players), files_(files), createChip_(createChip)
{
}

int PlaybackController::play(const char *fileName)
{
    // The thread of a song still playing would step a player that this call
    // replaces.
    stop();

    snapshot_ = settings_.current;
    const std::string name = fileName ? fileName : "";
    if (name != fileName_) {
        subsong_ = 0;
        fileName_ = name;
    }

    if (!createOpl())
        return 2;
    try {
        player_ = CAdPlug::factory(fileName_, opl_, players_, files_);
    } catch (const std::exception &) {
        // A player that cannot load for want of memory: no exception may
        // reach the host.
        player_ = nullptr;
        deleteOpl();
        return 2;
    }
    if (!player_) {
        deleteOpl();
        return -1;
    }
    if (!openOutput()) {
        deletePlayer();
        deleteOpl();
        return 2;
    }

    playing_ = 1;
    paused_ = 0;
    positionMs_ = 0.0f;
    lengthMs_ = static_cast<int>(measureSongLength(*player_, subsong_));
    seekTargetMs_ = -1;
    player_->rewind(subsong_);
    // Read now: once the thread runs, the player is the thread's alone.
    stopWaitMs_ = renderThreadStopWaitMs(player_->getrefresh());
    callIfGiven(host_.SetInfo, reportedBitRate, snapshot_.sampleRate / 1000, channels(), 1);

    if (!startThread()) {
        playing_ = 0;
        closeOutput();
        deletePlayer();
        deleteOpl();
        return 2;
    }
    return 0;
}

void PlaybackController::stop()
{
    if (!playing_)
        return;
    playing_ = 0;
    waitThread();
    closeOutput();
    deletePlayer();
    deleteOpl();
}

int PlaybackController::getOutputTime() const
{
    return host_.outMod ? host_.outMod->GetOutputTime() : 0;
}

void PlaybackController::setVolume(int volume)
{
    if (host_.outMod)
        host_.outMod->SetVolume(volume);
}

void PlaybackController::setPan(int pan)
{
    if (host_.outMod)
        host_.outMod->SetPan(pan);
}

bool PlaybackController::createOpl()
{
    // The render loop adds the sample rate to its tick balance: without a
    // positive rate time would never advance.
    if (snapshot_.sampleRate <= 0)
        return false;
    opl_ = createChip_(snapshot_.sampleRate, snapshot_.use16Bit, snapshot_.stereo);
    return opl_ != nullptr;
}

void PlaybackController::deleteOpl()
{
    delete opl_;
    opl_ = nullptr;
}

void PlaybackController::deletePlayer()
{
    delete player_;
    player_ = nullptr;
}

bool PlaybackController::openOutput()
{
    Out_Module *output = host_.outMod;
    if (!output)
        return false;
    outputLatencyMs_ = output->Open(snapshot_.sampleRate, channels(), bitsPerSample(), -1, -1);
    if (outputLatencyMs_ < 0)
        return false;
    output->SetVolume(keepHostVolume);
    callIfGiven(host_.SAVSAInit, outputLatencyMs_, snapshot_.sampleRate);
    callIfGiven(host_.VSASetInfo, snapshot_.sampleRate, channels());
    return true;
}

void PlaybackController::closeOutput()
{
    callIfGiven(host_.SAVSADeInit);
    host_.outMod->Close();
}

bool PlaybackController::startThread()
{
    thread_ = createThread(renderThread, this);
    if (!thread_)
        return false;
    setThreadPriority(thread_, renderThreadPriority(snapshot_.priorityIndex));
    return true;
}

void PlaybackController::waitThread()
{
    threadTerminated_ = !waitForThread(thread_, stopWaitMs_);
    if (threadTerminated_)
        terminateThread(thread_);
    closeThread(thread_);
}

} // namespace velk
