// A ROL song as plain data, in the order and with the values of its file.
// The converter fills one and writes it (rol/rol_writer.h); tests build them
// to make songs of their own.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "rol/rol_format.h"

namespace velk::rol {

struct TempoEvent {
    std::int16_t time;
    float multiplier;  // of the basic tempo; replaces the previous one
};

struct NoteRecord {
    std::int16_t note;      // 0 = rest; as written (the reader subtracts 12)
    std::int16_t duration;  // ticks
};

struct TimbreEvent {
    std::int16_t time;
    std::array<std::uint8_t, instrumentNameSize> name;  // NUL-padded
    std::uint16_t reserved;                             // the converter keeps the instrument index here
};

struct VolumeEvent {
    std::int16_t time;
    float level;  // 0.0 silent .. 1.0 full
};

struct PitchEvent {
    std::int16_t time;
    float variation;  // 1.0 = none
};

struct Voice {
    std::int16_t timeOfLastNote = 0;  // the note durations add up to this
    std::vector<NoteRecord> notes;
    std::vector<TimbreEvent> timbres;
    std::vector<VolumeEvent> volumes;
    std::vector<PitchEvent> pitches;
};

struct Song {
    std::uint16_t ticksPerBeat = 4;
    std::int16_t beatsPerMeasure = 4;
    std::int16_t editScaleY = 48;
    std::int16_t editScaleX = 56;
    std::uint8_t mode = modeMelodic;
    float basicTempo = 120.0f;
    std::array<std::uint8_t, 30> title{};  // kept in the reserved area, not read back
    std::vector<TempoEvent> tempo;
    std::vector<Voice> voices;  // written as they stand; the converter always gives 11
};

} // namespace velk::rol
