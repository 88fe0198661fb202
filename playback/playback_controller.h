// The one object that holds a playing song: the player, the chip it plays on
// and the render thread. The host's playback callbacks forward to it; pause,
// seek and stop are requests that it records in fields the render thread
// polls.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/host_interface.h"
#include "platform/thread.h"
#include "playback/playback_settings.h"
#include "playback/render_thread.h"

class CFileProvider;
class CPlayer;
class CPlayers;
class Copl;

namespace velk {

// Creates the chip a song is rendered on, or returns null when it cannot.
using ChipFactory = Copl *(*)(int sampleRate, bool use16Bit, bool stereo);

// AdPlug's OPL2 emulator, CEmuopl, as one OPL2 on every channel.
Copl *createEmulatedChip(int sampleRate, bool use16Bit, bool stereo);

// AdPlug's file-system provider, the one players load through by default.
const CFileProvider &filesystemProvider();

// Windows priority of the render thread for a priorityIndex of 0..6 (idle
// .. time critical; 4, above normal, is the default). Any other index gets
// the normal priority.
int renderThreadPriority(int priorityIndex);

// How long stop waits for the render thread before it terminates it: the
// time of 7 ticks at `tickRateHz` (100 ms at 70 Hz), never less than 100 ms
// because the thread may be in a 10 ms poll and a DSP call when stop comes.
int renderThreadStopWaitMs(float tickRateHz);

class PlaybackController {
public:
    // Keeps references to all four: the host's record (its functions, its
    // output module and its main window, read when used), the settings whose
    // current values each song starts from, the player list handed to
    // CAdPlug::factory, and the provider players load through.
    PlaybackController(In_Module &host, const PlaybackSettings &settings, const CPlayers &players,
                       const CFileProvider &files = filesystemProvider(),
                       ChipFactory createChip = createEmulatedChip);
    // Releases nothing but its text: the host stops playback before it
    // unloads the module, and waiting for a thread while the loader holds its
    // lock would hang.
    ~PlaybackController() = default;
    PlaybackController(const PlaybackController &) = delete;
    PlaybackController &operator=(const PlaybackController &) = delete;

    // Starts playing a file: 0 when playing, -1 when no player accepted the
    // file, 2 for any other failure (Idle afterwards). A song still playing
    // is stopped first.
    int play(const char *fileName);
    // Ends playback and releases the player, the chip and the output. Does
    // nothing while Idle; leaves `paused` as it is.
    void stop();
    void pause() { paused_ = 1; }
    void unpause() { paused_ = 0; }
    int isPaused() const { return paused_; }
    // Length in ms of the song started last, 0 before any.
    int getLength() const { return lengthMs_; }
    // Time in ms of the audio being heard, from the output module.
    int getOutputTime() const;
    // Asks the render thread to seek; it takes the request up within a block.
    void setOutputTime(int timeMs) { seekTargetMs_ = timeMs; }
    void setVolume(int volume);
    void setPan(int pan);
    int isPlaying() const { return playing_; }
    // The player of the song being played or ended, null when Idle.
    CPlayer *player() const { return player_; }

    // State, for the module's callbacks and for inspection.
    const std::string &fileName() const { return fileName_; }
    int subsong() const { return subsong_; }
    const PlaybackSettings::Values &format() const { return snapshot_; }
    float positionMs() const { return positionMs_; }
    int seekTargetMs() const { return seekTargetMs_; }
    int outputLatencyMs() const { return outputLatencyMs_; }
    Copl *opl() const { return opl_; }
    bool hasThread() const { return static_cast<bool>(thread_); }
    // Whether the last stop had to terminate a render thread that did not
    // end in time (only possible on Windows).
    bool threadWasTerminated() const { return threadTerminated_; }

private:
    friend unsigned long VELK_THREAD_ENTRY renderThread(void *controller);
    friend class RenderLoop;

    bool createOpl();
    void deleteOpl();
    void deletePlayer();
    bool openOutput();
    void closeOutput();
    bool startThread();
    void waitThread();

    int channels() const { return snapshot_.stereo ? 2 : 1; }
    int bitsPerSample() const { return snapshot_.use16Bit ? 16 : 8; }

    In_Module &host_;
    const PlaybackSettings &settings_;
    const CPlayers &players_;
    const CFileProvider &files_;
    const ChipFactory createChip_;

    PlaybackSettings::Values snapshot_{};  // the settings of the current song
    std::string fileName_;
    int subsong_ = 0;
    int lengthMs_ = 0;
    int outputLatencyMs_ = 0;
    int stopWaitMs_ = 0;
    Copl *opl_ = nullptr;
    CPlayer *player_ = nullptr;
    ThreadHandle thread_;
    bool threadTerminated_ = false;

    // Shared with the render thread, without a lock: the host's thread
    // writes playing, paused and seekTargetMs at any time; the render thread
    // polls them, writes positionMs and takes seek requests (-1 = none).
    std::atomic<std::int32_t> playing_{0};
    std::atomic<std::int32_t> paused_{0};
    std::atomic<std::int32_t> seekTargetMs_{0};
    std::atomic<float> positionMs_{0.0f};

    static_assert(std::atomic<std::int32_t>::is_always_lock_free && std::atomic<float>::is_always_lock_free,
                  "the shared fields are single words");
    static_assert(sizeof(std::atomic<std::int32_t>) == 4 && sizeof(std::atomic<float>) == 4,
                  "the shared fields are single words");
};

} // namespace velk
