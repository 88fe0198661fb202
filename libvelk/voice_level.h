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

// At the slowest the chip goes (no key scaling), how long after a key-on
// the envelope takes, from whatever level it had, to reach the level it then
// keeps while keyed: its sustain level, the peak when it does not decay,
// inaudibility (72 dB down, within a step or two of 16-bit silence) when it
// does not sustain. Infinite when it never does (an attack rate of 0 holds
// the level it found).
double settledAfterKeyOnMs(const Envelope &envelope);

// Likewise, how long after a key-off it takes to become inaudible from any
// level (infinite at release rate 0).
double silentAfterKeyOffMs(const Envelope &envelope);

// The attack from a level above silence reaches the peak sooner, by up to
// the whole attack (attackMsOf, infinite at rate 0); after that the envelope
// runs the same course that much earlier. How far apart in dB the two
// courses can be: the attack's length times the steepest fall after it.
double attackUncertaintyDb(const Envelope &envelope);
double attackMsOf(const Envelope &envelope);

} // namespace velk::lib
