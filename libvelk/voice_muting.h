// Which operator slots and channels of an OPL2 carry each voice of a song,
// for silencing voices the listener mutes.
#pragma once

#include <cstdint>

namespace velk::lib {

// The voices as velk.h numbers them: channels 0-8 in melodic mode; in rhythm
// mode channels 0-5, then bass drum, snare drum, tom-tom, top cymbal, hi-hat.
constexpr int rhythmBassDrum = 6, rhythmSnareDrum = 7, rhythmTomTom = 8, rhythmTopCymbal = 9, rhythmHiHat = 10;

// Bit (1 << slot) set for each operator slot offset (0x00-0x15, as added to
// 40h) that voice `voice` sounds through: both operators of a melodic
// channel or the bass drum, the single operator of the other drums.
std::uint32_t voiceSlots(int voice, bool rhythm);

} // namespace velk::lib
