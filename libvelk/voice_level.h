// How loud a voice is, worked out from its instrument's envelope and the
// engine's key events rather than from any one emulator's inside.
#pragma once

#include <cstdint>

#include "rol/instrument_bank.h"

namespace velk::lib {

// An output operator's envelope as the OPL2 reads its registers.
struct Envelope {
    int attack = 0;        // 0 (never rises) .. 15 (at once)
    int decay = 0;         // 0 (never falls) .. 15
    int sustainLevel = 0;  // 3 dB steps below the peak; 15 is 93 dB
    int release = 0;
    bool sustains = false;  // holds the sustain level while keyed; else falls on at the release rate
};

Envelope envelopeOf(const bank::OperatorImage &output);

// The envelope's amplitude (0..1) `sinceOnMs` after the key-on; `heldMs` is
// how long the key was held, negative while it still is. The chip's rates
// without key scaling: an attack takes 2826 ms at rate 1, halving with each
// step up; decay and release fall 96 dB in 39,280 ms at rate 1, halving too.
double envelopeAmplitude(const Envelope &envelope, double sinceOnMs, double heldMs);

// The amplitude of the output operator's attenuation (0..63, 0.75 dB steps).
double attenuationAmplitude(std::uint8_t attenuation);

} // namespace velk::lib
