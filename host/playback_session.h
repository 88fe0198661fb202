// One song played through a plug-in the way the player drives it: Play, the
// file information, the scripted steps (seek, pause, stop) each taken at a
// point of the audio played, the wait for the end-of-song message, Stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/end_of_song_receiver.h"
#include "platform/host_interface.h"

namespace velk::host {

struct ScriptStep {
    enum class Kind { seek, pause, stop };
    Kind kind;
    int valueMs;         // seek: the target; pause: how long; stop: unused
    std::int64_t atMs;   // taken once this much audio has been played
};

struct SessionOptions {
    std::vector<ScriptStep> steps;
    // Playback that writes nothing for this long (outside scripted pauses)
    // counts as stalled and is stopped.
    int stallTimeoutMs = 10000;
    // Called once Play has succeeded, with the title (as the plug-in gives
    // it) and the length.
    std::function<void(const std::string &title, int lengthMs)> onStarted;
};

struct SessionResult {
    int playResult = 0;
    std::string title;           // bytes from GetFileInfo
    int lengthMs = 0;            // from GetFileInfo
    int stepsTaken = 0;
    bool stoppedByScript = false;
    bool endedBySong = false;    // the end-of-song message arrived
    bool stalled = false;
    int endOfSongMessages = 0;   // counted after Stop, so late ones show too
    int otherMessages = 0;
    std::vector<int> outputTimeAtStep;  // GetOutputTime as each step's point is reached
    std::vector<int> pausedFlags;       // IsPaused during each scripted pause
    std::vector<std::int64_t> playedDuringPauseMs;
};

SessionResult playSong(In_Module &module, const std::string &song, EndOfSongReceiver &receiver,
                       const SessionOptions &options);

} // namespace velk::host
