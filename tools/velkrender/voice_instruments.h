// What each voice of a song plays, from the library's score: how many notes
// and which instruments, to name stems and MIDI tracks by.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "libvelk/velk.h"

namespace velk::render {

struct VoicePart {
    int voice = 0;
    std::size_t notes = 0;
    std::vector<std::string> instruments;  // in the order they first play a note
};

// Every voice of the song, in order (voices without notes included).
std::vector<VoicePart> voiceParts(const velk_song *song);

// The instruments of a part for a name: "PIANO1", "PIANO1+STRINGS", and past
// three "A+B+C+2 more"; "" for none.
std::string instrumentLabel(const VoicePart &part);

// "Voice 3 (PIANO1)", "Bass drum (BDRUM1)", or the voice's name alone when
// it plays nothing.
std::string partName(const velk_song *song, const VoicePart &part);

} // namespace velk::render
