// A ROL song as the engine keeps it for playing: the values it reads from the
// file, with note numbers lowered by 12 and instrument names resolved against
// the bank.
#pragma once

#include <cstdint>
#include <vector>

#include "rol/instrument_bank.h"
#include "rol/rol_format.h"

namespace velk::rol {

struct PlayNote {
    int note;  // as written minus 12: -12 is a rest
    std::int16_t duration;
};

// A tempo, volume or pitch event.
struct TimedValue {
    std::int16_t time;
    float value;
};

struct InstrumentChange {
    std::int16_t time;
    int instrument;  // index into the song's used instruments
};

struct VoiceData {
    std::int16_t timeOfLastNote = 0;
    std::vector<PlayNote> notes;
    std::vector<InstrumentChange> timbres;
    std::vector<TimedValue> volumes;
    std::vector<TimedValue> pitches;
};

constexpr int restNote = -12;

struct SongData {
    std::uint16_t ticksPerBeat = 0;
    std::int16_t beatsPerMeasure = 0;
    std::int16_t editScaleY = 0;
    std::int16_t editScaleX = 0;
    std::uint8_t mode = modeMelodic;
    float basicTempo = 0.0f;
    std::vector<TimedValue> tempo;
    std::vector<VoiceData> voices;  // 11 in percussive mode, 9 in melodic mode
    bank::UsedInstruments instruments;
    int endTick = 0;  // the largest time of last note

    bool percussive() const { return mode == modePercussive; }
};

} // namespace velk::rol
