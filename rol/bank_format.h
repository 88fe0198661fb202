// Layout of an AdLib instrument bank (.bnk). Offsets in the file are absolute.
#pragma once

#include <cstddef>

namespace velk::bank {

namespace header {
constexpr std::size_t size = 20;
constexpr std::size_t majorVersion = 0;     // byte, not checked
constexpr std::size_t minorVersion = 1;     // byte, not checked
constexpr std::size_t signature = 2;        // 6 bytes, not checked
constexpr std::size_t entriesUsed = 8;      // uint16: name entries read
constexpr std::size_t totalEntries = 10;    // uint16, not used
constexpr std::size_t nameListOffset = 12;  // int32
constexpr std::size_t timbreOffset = 16;    // int32
} // namespace header

constexpr std::size_t nameEntrySize = 12;   // uint16 index, byte flag, 9-byte name
constexpr std::size_t nameSize = 9;
constexpr std::size_t timbreRecordSize = 30;
constexpr std::size_t operatorRecordSize = 13;

// Field order of an operator record, one byte each.
enum OperatorField {
    keyScaleLevel, frequencyMultiplier, feedback, attackRate, sustainLevel,
    sustainingSound, decayRate, releaseRate, outputLevel, amplitudeVibrato,
    frequencyVibrato, envelopeScaling, frequencyModulation,
};

} // namespace velk::bank
