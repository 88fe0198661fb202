// Plays songs one after the other through an input plug-in, as the player's
// playlist does: Play, wait for the end-of-song message (or, on a terminal,
// for a key), Stop, the next song. A song that fails to play is reported
// with Play's result and the list goes on.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/end_of_song_receiver.h"
#include "platform/host_interface.h"
#include "tools/velkplay/listening.h"
#include "tools/velkplay/voice_panel.h"

namespace velk::play {

class Terminal;

// What the library lets a listener do while a song plays: mute voices,
// change the tempo and the key, even out loudness, see the voices. A song
// played through a plug-in has none of it.
struct SongControls {
    std::function<void(const Listening &)> listen;
    std::function<std::vector<HeardVoice>()> heardVoices;
    // The song's even-loudness gain once measured (else none, with the
    // reason when it failed).
    std::function<std::optional<double>(std::string &failure)> evenGainDb;
    Listening start;  // what the list begins with (the command line's)
};

struct ListResult {
    int played = 0;          // songs that started (a song played again counts again)
    int failed = 0;          // songs whose Play did not return 0
    int stopSignal = 0;      // the signal that ended the list early, else 0
    bool quit = false;       // q ended the list early
};

// With a terminal: the title, a status line refreshed a few times a second,
// the lyrics and, with `controls`, the voice panel under it, and the keys
// (keyHelp lists them). Without one: every song to its end and a line on
// `out` for each. `whyPlayFailed`, when given, says why the last Play failed
// in the engine's own words.
ListResult playSongList(In_Module &module, host::EndOfSongReceiver &receiver, const std::vector<std::string> &songs,
                        Terminal *terminal, std::ostream &out, std::ostream &err,
                        const std::function<std::string()> &whyPlayFailed = {},
                        const SongControls *controls = nullptr);

} // namespace velk::play
