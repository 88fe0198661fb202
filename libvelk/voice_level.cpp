#include "libvelk/voice_level.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velk::lib {
namespace {

constexpr double silentDb = 96.0;
// 72 dB under a voice's peak it is within a step or two of 16-bit silence
// even played at full volume: an envelope there no longer matters.
constexpr double inaudibleDb = 72.0;
constexpr double never = std::numeric_limits<double>::infinity();

double attackMs(int rate)
{
    if (rate == 0)
        return never;
    if (rate == 15)
        return 0.0;
    return 2826.24 / std::exp2(rate - 1);
}

// Decibels fallen per ms at a decay or release rate.
double fallDbPerMs(int rate) { return rate == 0 ? 0.0 : silentDb / (39280.0 / std::exp2(rate - 1)); }

double toDb(double amplitude) { return amplitude <= 0.0 ? silentDb : std::min(silentDb, -20.0 * std::log10(amplitude)); }

double toAmplitude(double db) { return db >= silentDb ? 0.0 : std::pow(10.0, -db / 20.0); }

// The chip reads sustain level 15 as 93 dB, the others as 3 dB a step.
double sustainDb(const Envelope &e) { return e.sustainLevel >= 15 ? 93.0 : e.sustainLevel * 3.0; }

// Decibels below the peak `t` ms after the key-on while still keyed; or the
// attack's amplitude as a level when it has not peaked yet.
double keyedDb(const Envelope &e, double t)
{
    const double attack = attackMs(e.attack);
    if (t < attack)
        return toDb(attack == never ? 0.0 : t / attack);
    const double decayed = (t - attack) * fallDbPerMs(e.decay);
    const double sustain = sustainDb(e);
    if (decayed < sustain)
        return decayed;
    if (e.sustains)
        return sustain;
    const double rate = fallDbPerMs(e.decay);
    const double reached = rate > 0.0 ? attack + sustain / rate : never;
    return std::min(silentDb, sustain + (t - reached) * fallDbPerMs(e.release));
}

} // namespace

Envelope envelopeOf(const bank::OperatorImage &output)
{
    Envelope e;
    e.attack = output.attackDecay >> 4;
    e.decay = output.attackDecay & 0x0F;
    e.sustainLevel = output.sustainRelease >> 4;
    e.release = output.sustainRelease & 0x0F;
    e.sustains = (output.character & 0x20) != 0;
    return e;
}

double envelopeAmplitude(const Envelope &envelope, double sinceOnMs, double heldMs)
{
    if (sinceOnMs < 0.0)
        return 0.0;
    if (heldMs < 0.0 || sinceOnMs <= heldMs)
        return toAmplitude(keyedDb(envelope, sinceOnMs));
    const double atOff = keyedDb(envelope, heldMs);
    return toAmplitude(atOff + (sinceOnMs - heldMs) * fallDbPerMs(envelope.release));
}

double attenuationAmplitude(std::uint8_t attenuation) { return toAmplitude(0.75 * (attenuation & 0x3F)); }

} // namespace velk::lib
