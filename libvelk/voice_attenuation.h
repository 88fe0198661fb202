// The layer between the engine and every emulator that makes the listener's
// voice controls out of register writes: each voice's gain added to its
// output operators' total level, muting as full attenuation (or, on an
// emulator that silences voices itself, passed to it), and the writes told
// to a listener as the chip hears them.
#pragma once

#include <opl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "libvelk/emulator_chip.h"
#include "libvelk/velk.h"

namespace velk::lib {

// The most a voice is attenuated: the total level's 6 bits, 0.75 dB each.
constexpr int mostAttenuationSteps = 63;
constexpr double attenuationStepDb = 0.75;

// What the layer remembers of the song's writes: what a snapshot of the chip
// must keep with it. The listener's controls (muting, gains) are not in it:
// a restored state takes the controls of the moment.
struct VoiceAttenuationState {
    std::array<std::uint8_t, 256> registers{};     // as the engine last wrote them
    std::array<std::uint8_t, 0x16> chipLevels{};   // 40h-55h as the chip was given them
    std::array<std::uint8_t, 0x16> heardLevels{};  // 40h-55h as the listener was told them
};

class VoiceAttenuation : public EmulatorChip {
public:
    // `chip` renders. `muter` is null, or `chip` itself when it silences
    // muted voices on its own (Nuked, which takes them out of its sum): then
    // muting goes to it and only the gains become levels.
    VoiceAttenuation(std::unique_ptr<Copl> chip, EmulatorChip *muter);

    void write(int reg, int val) override;
    void init() override;
    void update(short *buf, int samples) override;

    void setMutedVoices(std::uint32_t mask) override;

    // The voice's attenuation in steps of 0.75 dB, 0 to 63, from the next
    // frame on.
    void setVoiceGain(int voice, int steps);
    int voiceGain(int voice) const;

    // The song's side of the layer, to keep beside a snapshot of the chip
    // (inner()); restore() puts it back, with the chip restored to the same
    // moment, and applies the muting and gains set now.
    const VoiceAttenuationState &state() const { return state_; }
    void restore(const VoiceAttenuationState &state);
    Copl &inner() { return *chip_; }

    // Tells `listener` every write from now on, with the output frame it
    // sounds from. A song that has rendered nothing since its chip was reset
    // first hears the writes of that start; otherwise every register the
    // chip holds, at the frame it is at. Null stops the reports.
    void setWriteListener(velk_write_listener listener, void *user);

    // While held (a seek stepping unheard), nothing is reported and the
    // frames rendered are not counted as heard; on release the listener
    // hears every register the chip holds.
    void holdReports(bool held);

    // Frames heard since the chip was made.
    std::uint64_t heardFrames() const { return heardFrames_; }

private:
    bool rhythm() const;
    std::uint32_t outputSlots(int voice) const;
    std::uint8_t levelFor(int slot, bool withMuting) const;
    // Writes the levels whose heard value the controls or the connections
    // changed.
    void refresh();
    void report(int reg, int value);
    void reportWholeChip();

    std::unique_ptr<Copl> chip_;
    EmulatorChip *muter_;
    VoiceAttenuationState state_;
    std::uint32_t muted_ = 0;
    std::array<std::uint8_t, VELK_MAX_VOICES> gains_{};

    velk_write_listener listener_ = nullptr;
    void *listenerUser_ = nullptr;
    bool held_ = false;
    std::uint64_t heardFrames_ = 0;
    // The writes since the chip was last reset, while nothing has rendered.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> start_;
    bool recordingStart_ = false;
};

} // namespace velk::lib
