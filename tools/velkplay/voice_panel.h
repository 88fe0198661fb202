// The rows velkplay shows under the bar while the library plays a song: for
// each voice its number, name, instrument, a level meter and the note it
// sounds, as heard, with the voices the listener silenced marked.
#pragma once

#include <string>
#include <vector>

#include "tools/velkplay/listening.h"

namespace velk::play {

// One voice as it sounds at the time being heard.
struct HeardVoice {
    std::string name;        // "Voice 1" ... "Hi-hat"
    std::string instrument;  // "" before its first note
    bool rhythm = false;
    bool sounding = false;   // its note is keyed on
    int key = -1;            // MIDI key of its last note, -1 before any
    float level = 0;         // 0 to 1
};

// "C4" for key 60, "C#4" for 61; "" for no key.
std::string noteName(int key);

// One row a voice, each at most `width` columns.
std::vector<std::string> voicePanel(const std::vector<HeardVoice> &voices, const Listening &listening, int width);

} // namespace velk::play
