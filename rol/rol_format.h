// Layout of a ROL song (AdLib Visual Composer, version 0.4) as the converter
// writes it and the engine reads it. Offsets are from the start of the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velk::rol {

constexpr std::uint16_t majorVersion = 0;
constexpr std::uint16_t minorVersion = 4;

namespace header {
constexpr std::size_t size = 201;
constexpr std::size_t majorVersion = 0;      // uint16, must be 0
constexpr std::size_t minorVersion = 2;      // uint16, must be 4
constexpr std::size_t signature = 4;         // 40 bytes, not read
constexpr std::size_t signatureSize = 40;
constexpr std::size_t ticksPerBeat = 44;     // uint16
constexpr std::size_t beatsPerMeasure = 46;  // int16, not used when playing
constexpr std::size_t editScaleY = 48;       // int16, not used when playing
constexpr std::size_t editScaleX = 50;       // int16, not used when playing
constexpr std::size_t reserved = 52;         // 1 byte
constexpr std::size_t mode = 53;             // uint8: 0 percussive, else melodic
constexpr std::size_t reservedArea = 54;     // 143 bytes, not read
constexpr std::size_t reservedAreaSize = 143;
constexpr std::size_t basicTempo = 197;      // float32, beats per minute
} // namespace header

// The converter keeps some of its figures in the reserved area; the reader
// skips it.
namespace converterArea {
constexpr std::size_t timesOfLastNote = 54;  // 11 x uint16
constexpr std::size_t timbreCounts = 76;     // 11 x uint16
constexpr std::size_t volumeCounts = 98;     // 11 x uint16
constexpr std::size_t pitchCounts = 120;     // 11 x uint16
constexpr std::size_t tempoCount = 142;      // uint16
constexpr std::size_t title = 145;           // 30 bytes
constexpr std::size_t tempoTrackName = 182;  // 15 bytes, "Tempo"
} // namespace converterArea

constexpr std::uint8_t modePercussive = 0;
constexpr std::uint8_t modeMelodic = 1;
constexpr int percussiveVoices = 11;
constexpr int melodicVoices = 9;
constexpr int maxVoices = 11;

constexpr std::size_t trackNameSize = 15;
constexpr std::size_t instrumentNameSize = 9;  // at most 8 characters and a NUL

constexpr std::size_t tempoEventSize = 6;    // int16 time, float32 multiplier
constexpr std::size_t noteRecordSize = 4;    // int16 note, int16 duration
constexpr std::size_t timbreEventSize = 14;  // int16 time, 9-byte name, filler, reserved word
constexpr std::size_t volumeEventSize = 6;   // int16 time, float32 level multiplier
constexpr std::size_t pitchEventSize = 6;    // int16 time, float32 variation

// Every time field is an int16: later ticks read back as negative.
constexpr int maxTick = 32767;

} // namespace velk::rol
