// Facts of the YM3812 (OPL2) chip that the ROL engine relies on: register
// groups, operator slots per channel, the rhythm section.
#pragma once

#include <cstdint>

namespace velk::opl2 {

constexpr int channels = 9;

// Register groups: per operator slot (20h..F5h) or per channel (A0h..C8h).
constexpr int regTestAndWaveEnable = 0x01;  // bit 5 lets E0h choose waveforms
constexpr int waveformSelectEnable = 0x20;
constexpr int regCharacter = 0x20;     // AM, vibrato, sustaining, KSR, multiplier
constexpr int regLevel = 0x40;         // key scale level (bits 6-7), attenuation (0-5)
constexpr int regAttackDecay = 0x60;
constexpr int regSustainRelease = 0x80;
constexpr int regFrequencyLow = 0xA0;
constexpr int regKeyBlockFrequency = 0xB0;  // key-on (bit 5), block (2-4), F-number bits 8-9
constexpr int regRhythm = 0xBD;
constexpr int regFeedbackConnection = 0xC0;
constexpr int regWaveform = 0xE0;

constexpr std::uint8_t keyOnBit = 0x20;
constexpr std::uint8_t levelKeyScaleBits = 0xC0;
constexpr std::uint8_t levelAttenuationBits = 0x3F;

// Register BDh: bit 5 switches the rhythm section on; bits 4..0 key the
// bass drum, snare drum, tom-tom, top cymbal and hi-hat.
constexpr std::uint8_t rhythmOn = 0x20;
constexpr std::uint8_t bassDrumKey = 0x10;
constexpr std::uint8_t snareDrumKey = 0x08;
constexpr std::uint8_t tomTomKey = 0x04;
constexpr std::uint8_t topCymbalKey = 0x02;
constexpr std::uint8_t hiHatKey = 0x01;

// Operator slot offsets (added to 20h, 40h, 60h, 80h, E0h) of each channel's
// modulator; its carrier is 3 slots further.
constexpr std::uint8_t modulatorSlot[channels] = {0x00, 0x01, 0x02, 0x08, 0x09, 0x0A, 0x10, 0x11, 0x12};
constexpr std::uint8_t carrierSlot[channels] = {0x03, 0x04, 0x05, 0x0B, 0x0C, 0x0D, 0x13, 0x14, 0x15};

// In rhythm mode the single-operator instruments sit in these slots:
// hi-hat and snare drum on channel 7, tom-tom and top cymbal on channel 8.
constexpr std::uint8_t hiHatSlot = modulatorSlot[7];
constexpr std::uint8_t snareDrumSlot = carrierSlot[7];
constexpr std::uint8_t tomTomSlot = modulatorSlot[8];
constexpr std::uint8_t topCymbalSlot = carrierSlot[8];

} // namespace velk::opl2
