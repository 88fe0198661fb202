// A song's score, as the library gives it, as a Standard MIDI File.
#pragma once

#include <cstdint>
#include <string>

#include "libvelk/velk.h"
#include "tools/velkrender/midi_file.h"

namespace velk::render {

// What the listener's controls make of the file.
struct MidiChoices {
    std::string title;        // the tempo track's name
    std::uint32_t muted = 0;  // voices left out (bit 0 for voice 1)
    double tempo = 1.0;       // scales every tempo
    int transpose = 0;        // semitones, on melodic voices
};

// A tempo track (the tempo map) and a track for each voice with notes, named
// after the voice and its instruments. Division is the song's ticks per
// beat, so every event falls on the score's own tick. Melodic voices take
// channels 1 to 9, one each, with a bend range of a semitone (RPN 0) and
// the song's pitch events as bends; the rhythm voices take channel 10 with
// General MIDI's drum keys. False with `error` when the song's resolution
// does not fit a MIDI file.
bool songMidi(const velk_song *song, const MidiChoices &choices, MidiFile &file, std::string &error);

// General MIDI's drum key for a rhythm voice (0 bass drum ... 4 hi-hat).
int drumKey(int rhythmVoice);

} // namespace velk::render
