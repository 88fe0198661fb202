#include "libvelk/voice_attenuation.h"

#include <algorithm>

#include "libvelk/voice_muting.h"
#include "rol/opl2.h"

namespace velk::lib {
namespace {

constexpr int slotCount = 0x16;
// A rewind's set-up is a few hundred writes; a start longer than this is
// reported as the chip's whole state instead.
constexpr std::size_t mostStartWrites = 4096;
constexpr std::uint8_t connectionSummed = 0x01;  // C0h bit 0: both operators are heard

bool isLevel(int reg) { return reg >= opl2::regLevel && reg < opl2::regLevel + slotCount; }

bool isSlot(int offset) { return (offset & 7) < 6; }

} // namespace

VoiceAttenuation::VoiceAttenuation(std::unique_ptr<Copl> chip, EmulatorChip *muter)
    : chip_(std::move(chip)), muter_(muter)
{
    currType = TYPE_OPL2;
}

bool VoiceAttenuation::rhythm() const { return (state_.registers[opl2::regRhythm] & opl2::rhythmOn) != 0; }

std::uint32_t VoiceAttenuation::outputSlots(int voice) const
{
    const auto bit = [](int slot) { return std::uint32_t{1} << slot; };
    const auto channel = [&](int c) {
        const bool summed = (state_.registers[opl2::regFeedbackConnection + c] & connectionSummed) != 0;
        return bit(opl2::carrierSlot[c]) | (summed ? bit(opl2::modulatorSlot[c]) : 0);
    };
    if (voice < 0)
        return 0;
    if (!rhythm() || voice < rhythmBassDrum)
        return voice < opl2::channels ? channel(voice) : 0;
    if (voice == rhythmBassDrum)
        return channel(6);
    // The other drums sound through one operator each.
    return voiceSlots(voice, true);
}

std::uint8_t VoiceAttenuation::levelFor(int slot, bool withMuting) const
{
    const std::uint8_t written = state_.registers[opl2::regLevel + slot];
    const bool isRhythm = rhythm();
    int steps = 0;
    for (int v = 0; v < VELK_MAX_VOICES; ++v) {
        if (withMuting && (muted_ >> v & 1u) && (voiceSlots(v, isRhythm) >> slot & 1u))
            return written | opl2::levelAttenuationBits;
        if (gains_[static_cast<std::size_t>(v)] != 0 && (outputSlots(v) >> slot & 1u))
            steps = gains_[static_cast<std::size_t>(v)];
    }
    const int level = std::min(mostAttenuationSteps, (written & opl2::levelAttenuationBits) + steps);
    return static_cast<std::uint8_t>((written & opl2::levelKeyScaleBits) | level);
}

void VoiceAttenuation::refresh()
{
    for (int slot = 0; slot < slotCount; ++slot) {
        if (!isSlot(slot))
            continue;
        const std::uint8_t chipLevel = levelFor(slot, muter_ == nullptr);
        if (chipLevel != state_.chipLevels[static_cast<std::size_t>(slot)]) {
            state_.chipLevels[static_cast<std::size_t>(slot)] = chipLevel;
            chip_->write(opl2::regLevel + slot, chipLevel);
        }
        const std::uint8_t heard = levelFor(slot, true);
        if (heard != state_.heardLevels[static_cast<std::size_t>(slot)]) {
            state_.heardLevels[static_cast<std::size_t>(slot)] = heard;
            report(opl2::regLevel + slot, heard);
        }
    }
}

void VoiceAttenuation::write(int reg, int val)
{
    if (reg < 0 || reg > 0xFF) {
        chip_->write(reg, val);
        return;
    }
    const auto value = static_cast<std::uint8_t>(val);
    const bool rhythmBefore = rhythm();
    state_.registers[static_cast<std::size_t>(reg)] = value;
    if (isLevel(reg)) {
        const int slot = reg - opl2::regLevel;
        const std::uint8_t chipLevel = levelFor(slot, muter_ == nullptr);
        const std::uint8_t heard = levelFor(slot, true);
        state_.chipLevels[static_cast<std::size_t>(slot)] = chipLevel;
        state_.heardLevels[static_cast<std::size_t>(slot)] = heard;
        chip_->write(reg, chipLevel);
        report(reg, heard);
        return;
    }
    chip_->write(reg, val);
    report(reg, value);
    // Which operators are heard follows the connections and the rhythm mode.
    const bool connection = reg >= opl2::regFeedbackConnection && reg < opl2::regFeedbackConnection + opl2::channels;
    if (connection || (reg == opl2::regRhythm && rhythm() != rhythmBefore))
        refresh();
}

void VoiceAttenuation::init()
{
    chip_->init();
    state_ = VoiceAttenuationState{};
    start_.clear();
    recordingStart_ = true;
    refresh();
}

void VoiceAttenuation::update(short *buf, int samples)
{
    chip_->update(buf, samples);
    if (samples > 0) {
        recordingStart_ = false;
        if (!held_)
            heardFrames_ += static_cast<std::uint64_t>(samples);
    }
}

void VoiceAttenuation::setMutedVoices(std::uint32_t mask)
{
    muted_ = mask;
    if (muter_)
        muter_->setMutedVoices(mask);
    refresh();
}

void VoiceAttenuation::setVoiceGain(int voice, int steps)
{
    if (voice < 0 || voice >= VELK_MAX_VOICES)
        return;
    gains_[static_cast<std::size_t>(voice)] = static_cast<std::uint8_t>(std::clamp(steps, 0, mostAttenuationSteps));
    refresh();
}

int VoiceAttenuation::voiceGain(int voice) const
{
    return voice >= 0 && voice < VELK_MAX_VOICES ? gains_[static_cast<std::size_t>(voice)] : 0;
}

void VoiceAttenuation::restore(const VoiceAttenuationState &state)
{
    state_ = state;
    recordingStart_ = false;
    refresh();
}

void VoiceAttenuation::report(int reg, int value)
{
    if (recordingStart_) {
        if (start_.size() < mostStartWrites)
            start_.emplace_back(static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value));
        else
            recordingStart_ = false;
    }
    if (listener_ && !held_)
        listener_(listenerUser_, heardFrames_, reg, value);
}

void VoiceAttenuation::reportWholeChip()
{
    if (!listener_)
        return;
    const auto tell = [&](int reg) {
        const std::uint8_t value = isLevel(reg) ? state_.heardLevels[static_cast<std::size_t>(reg - opl2::regLevel)]
                                                : state_.registers[static_cast<std::size_t>(reg)];
        listener_(listenerUser_, heardFrames_, reg, value);
    };
    tell(opl2::regTestAndWaveEnable);
    tell(0x08);  // composite sine mode and keyboard split
    // The operators, then the channels, keys last so that each note starts
    // on its own sound.
    for (const int group : {opl2::regCharacter, opl2::regLevel, opl2::regAttackDecay, opl2::regSustainRelease,
                            opl2::regWaveform})
        for (int slot = 0; slot < slotCount; ++slot)
            if (isSlot(slot))
                tell(group + slot);
    for (int c = 0; c < opl2::channels; ++c)
        tell(opl2::regFeedbackConnection + c);
    for (int c = 0; c < opl2::channels; ++c)
        tell(opl2::regFrequencyLow + c);
    tell(opl2::regRhythm);
    for (int c = 0; c < opl2::channels; ++c)
        tell(opl2::regKeyBlockFrequency + c);
}

void VoiceAttenuation::setWriteListener(velk_write_listener listener, void *user)
{
    listener_ = listener;
    listenerUser_ = user;
    if (!listener_ || held_)
        return;
    if (recordingStart_) {
        for (const auto &[reg, value] : start_)
            listener_(listenerUser_, heardFrames_, reg, value);
    } else {
        reportWholeChip();
    }
}

void VoiceAttenuation::holdReports(bool held)
{
    if (held == held_)
        return;
    held_ = held;
    if (held) {
        recordingStart_ = false;
        return;
    }
    reportWholeChip();
}

} // namespace velk::lib
