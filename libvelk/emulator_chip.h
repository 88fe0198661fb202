// The OPL2 emulators of AdPlug 2.3.3 a song can play on, each as one OPL2
// chip whose signal fills every channel of 16-bit output, made safe to use
// from several songs on several threads at once.
#pragma once

#include <opl.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "libvelk/velk.h"

namespace velk::lib {

// Ken Silverman's emulator keeps its one chip in globals: a second song on
// it while one is open is refused.
struct EmulatorBusy : std::runtime_error {
    EmulatorBusy() : std::runtime_error("Ken Silverman's emulator is in use by another song (one at a time)") {}
};

// A chip whose voices (numbered as velk.h numbers them, by the rhythm mode
// the song sets) can be silenced while their state runs on.
class EmulatorChip : public Copl {
public:
    // Voices whose bit is set are silent from the next frame rendered on.
    virtual void setMutedVoices(std::uint32_t mask) = 0;
};

class VoiceAttenuation;

// A chip's whole state at a moment, as bytes.
using ChipState = std::vector<std::uint8_t>;

// The state of an emulator's chip, copied out and put back: a chip given a
// state saved from a chip of the same emulator, rate and channels (itself
// or another) renders on from there as that chip did, bit for bit. Taken
// between renders.
class ChipStateAccess {
public:
    virtual void saveState(ChipState &out) = 0;
    // False (the chip unchanged) for a state it cannot take.
    virtual bool restoreState(const ChipState &state) = 0;

protected:
    ~ChipStateAccess() = default;
};

// The state of the chip under `chip` (as makeEmulatorChip made it), or null
// for an emulator whose state cannot be reached (Ken's, held in AdPlug's
// globals).
ChipStateAccess *chipStateOf(VoiceAttenuation &chip);

// A chip of `emulator` (not VELK_EMULATOR_DEFAULT) rendering signed 16-bit
// frames of `channels` (1 or 2) at `rate`, under the layer of voice gains
// and muting (voice_attenuation.h). Nuked silences a muted voice's share of
// the chip's sum; the others turn its operators' attenuation full (47 dB
// down). Throws std::bad_alloc, or EmulatorBusy for a second Ken chip.
std::unique_ptr<VoiceAttenuation> makeEmulatorChip(velk_emulator emulator, int rate, int channels);

} // namespace velk::lib
