#include "rol/rol_player.h"

#include <binio.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "rol/bank_choice.h"
#include "rol/opl2.h"

namespace velk {
namespace {

// Ticks per second of a player that holds no song yet: the PC timer's rate.
constexpr float unloadedRefresh = 18.2f;

// F-numbers of C, C#, ... B within a block.
constexpr int frequencyNumbers[12] = {340, 363, 385, 408, 432, 458, 485, 514, 544, 577, 611, 647};

// Rhythm voices of a percussive song: bass drum, snare drum, tom-tom, top
// cymbal, hi-hat.
constexpr int bassDrumVoice = 6;
constexpr int snareDrumVoice = 7;
constexpr int tomTomVoice = 8;
constexpr int topCymbalVoice = 9;
constexpr int hiHatVoice = 10;
constexpr std::uint8_t rhythmKeys[rol::percussiveVoices] = {
    0, 0, 0, 0, 0, 0, opl2::bassDrumKey, opl2::snareDrumKey, opl2::tomTomKey, opl2::topCymbalKey, opl2::hiHatKey};

// The two channels the tom-tom tunes, and the notes they hold at the start.
constexpr int tomTomChannel = 8;
constexpr int snareDrumChannel = 7;
constexpr int tomTomToSnareSemitones = 7;
constexpr int tomTomStartNote = 36 - 12;
constexpr int snareDrumStartNote = 43 - 12;

// A bend is counted in steps of a twenty-fifth of a semitone.
constexpr int bendStepsPerSemitone = 25;

int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int floorMod(int a, int b) { return a - floorDiv(a, b) * b; }

// Attenuation of a volume multiplier: (1 - m) x 63, truncated toward zero.
// The result is OR-ed into a register, so it stays an int; a multiplier so
// far out of range that it has no int value gives 0 (full level).
int attenuationOf(float multiplier)
{
    const double exact = (1.0 - static_cast<double>(multiplier)) * 63.0;
    if (!(exact > static_cast<double>(INT_MIN) - 1.0 && exact < static_cast<double>(INT_MAX) + 1.0))
        return 0;
    return static_cast<int>(exact);
}

// F-numbers of each note bent up by 0..24 steps: the unbent ones times
// 2^(steps/300), rounded.
const std::array<std::array<int, 12>, bendStepsPerSemitone> &bentFrequencyNumbers()
{
    static const auto table = [] {
        std::array<std::array<int, 12>, bendStepsPerSemitone> t{};
        for (int step = 0; step < bendStepsPerSemitone; ++step)
            for (int n = 0; n < 12; ++n)
                t[step][n] = static_cast<int>(
                    std::lround(frequencyNumbers[n] * std::exp2(step / (12.0 * bendStepsPerSemitone))));
        return t;
    }();
    return table;
}

// The steps a pitch variation bends by, as AdPlug 2.3.3 reckons them: 1.0
// is none; otherwise 8191 x variation (float arithmetic, truncated) is a
// 14-bit bend around 2000h, whose distance from 2000h times 25 steps is
// divided by 2000h, rounding down (its unsigned division does). So 0.0 bends
// a whole semitone down and 2.0 24 steps up. Variations beyond 0..2 (where
// its conversion is undefined or leaves the semitone's range) are held to
// it, and one that is not a number bends nothing.
int bendStepsOfVariation(float variation)
{
    if (variation == 1.0f || std::isnan(variation))
        return 0;
    const float held = std::clamp(variation, 0.0f, 2.0f);
    const int bend = static_cast<int>((0x3fff >> 1) * held);
    return floorDiv((bend - 0x2000) * bendStepsPerSemitone, 0x2000);
}

} // namespace

int pitchBendSteps(float variation) { return bendStepsOfVariation(variation); }

RolPlayer::RolPlayer(Copl *opl) : CPlayer(opl) {}

RolPlayer::RolPlayer(const RolPlayer &other, Copl *opl)
    : CPlayer(opl), song_(other.song_), loadStatus_(other.loadStatus_), loaded_(other.loaded_),
      pitchBends_(other.pitchBends_)
{
    play_.transpose = other.play_.transpose;
    if (loaded_)
        rewind(0);
}

RolPlayer::VoiceView RolPlayer::voiceView(int v) const
{
    VoiceView view;
    if (v < 0 || v >= static_cast<int>(song_.voices.size()))
        return view;
    const VoiceState &state = play_.voices[v];
    view.keyed = state.keyed;
    view.note = state.note;
    view.instrument = state.instrument;
    view.attenuation = state.attenuation;
    view.strikes = state.strikes;
    view.pitchesPlayed = state.nextPitch;
    return view;
}

void RolPlayer::setTranspose(int semitones)
{
    const int delta = semitones - play_.transpose;
    play_.transpose = semitones;
    if (!loaded_ || delta == 0)
        return;
    ++retunes_;
    for (int v = 0; v < static_cast<int>(song_.voices.size()) && v < opl2::channels; ++v)
        if (!isPercussion(v) && play_.voices[v].note != rol::restNote)
            setPitch(v, play_.channelNote[v] + delta, (play_.keyBlockFrequency[v] & opl2::keyOnBit) != 0);
}

CPlayer *RolPlayer::factory(Copl *opl) { return new RolPlayer(opl); }

bool RolPlayer::load(const std::string &filename, const CFileProvider &fp)
{
    binistream *stream = fp.open(filename);
    if (!stream) {
        song_ = rol::SongData{};
        loaded_ = false;
        loadStatus_ = rol::SongReadStatus::songUnavailable;
        return false;
    }
    const bool ok = loadSong(*stream, chooseBankPath(filename), fp);
    fp.close(stream);
    return ok;
}

bool RolPlayer::loadSong(binistream &stream, const std::string &bankPath, const CFileProvider &fp)
{
    rol::SongData song;
    loadStatus_ = rol::readSong(stream, bankPath, fp, song);
    loaded_ = loadStatus_ == rol::SongReadStatus::ok;
    song_ = loaded_ ? std::move(song) : rol::SongData{};
    if (loaded_)
        rewind(0);
    return loaded_;
}

std::string RolPlayer::gettype() { return "Adlib Visual Composer"; }

float RolPlayer::getrefresh()
{
    if (!loaded_)
        return unloadedRefresh;
    const float rate = song_.basicTempo * static_cast<float>(std::min<int>(song_.ticksPerBeat, 60)) / 60.0f *
                       play_.tempoMultiplier;
    if (!(rate >= minRefresh))  // also catches NaN
        return minRefresh;
    return std::min(rate, maxRefresh);
}

void RolPlayer::rewind(int)
{
    // The transposition is the listener's, kept across rewinds.
    const int transpose = play_.transpose;
    play_ = PlayState{};
    play_.transpose = transpose;

    opl->init();
    opl->write(opl2::regTestAndWaveEnable, opl2::waveformSelectEnable);
    if (loaded_ && song_.percussive()) {
        play_.rhythm = opl2::rhythmOn;
        writeRhythm();
        setPitch(tomTomChannel, tomTomStartNote, false);
        setPitch(snareDrumChannel, snareDrumStartNote, false);
    }
}

bool RolPlayer::update()
{
    if (!loaded_ || play_.ended)
        return false;

    if (play_.nextTempo < song_.tempo.size() && song_.tempo[play_.nextTempo].time == play_.tick) {
        play_.tempoMultiplier = song_.tempo[play_.nextTempo].value;
        ++play_.nextTempo;
    }
    for (int v = 0; v < static_cast<int>(song_.voices.size()); ++v)
        playVoice(v);

    if (play_.tick >= song_.endTick) {
        play_.ended = true;
        return false;
    }
    ++play_.tick;
    return true;
}

// Each track moves on only when its next event falls on this very tick, so a
// track whose times repeat or go back stops there.
void RolPlayer::playVoice(int v)
{
    const rol::VoiceData &voice = song_.voices[v];
    VoiceState &state = play_.voices[v];
    // A voice without notes, or past its last one, is silent for good: its
    // other tracks rest too.
    if (voice.notes.empty() || state.notesDone)
        return;

    if (state.nextTimbre < voice.timbres.size() && voice.timbres[state.nextTimbre].time == play_.tick) {
        state.instrument = voice.timbres[state.nextTimbre].instrument;
        loadInstrument(v, song_.instruments.list[state.instrument].image);
        ++state.nextTimbre;
    }
    if (state.nextVolume < voice.volumes.size() && voice.volumes[state.nextVolume].time == play_.tick) {
        setVolume(v, voice.volumes[state.nextVolume].value);
        ++state.nextVolume;
    }
    if (state.ticksLeft == 0) {
        if (state.nextNote == voice.notes.size()) {
            keyOff(v);
            state.notesDone = true;
            return;
        }
        const rol::PlayNote &note = voice.notes[state.nextNote++];
        startNote(v, note.note);
        // Durations of 0 (and the meaningless negative ones) last one tick.
        state.ticksLeft = std::max<int>(1, note.duration);
    }
    // A bend takes the note just started. Without bends, and on the rhythm
    // section, pitch events are stepped over.
    if (state.nextPitch < voice.pitches.size() && voice.pitches[state.nextPitch].time == play_.tick) {
        if (pitchBends_ && !isPercussion(v))
            bendNote(v, voice.pitches[state.nextPitch].value);
        ++state.nextPitch;
    }
    --state.ticksLeft;
}

bool RolPlayer::isPercussion(int v) const { return song_.percussive() && v >= bassDrumVoice; }

// The operator whose level the volume track sets: the carrier, or the single
// operator of a snare drum, tom-tom, top cymbal or hi-hat.
int RolPlayer::outputSlot(int v) const
{
    if (song_.percussive()) {
        switch (v) {
        case snareDrumVoice: return opl2::snareDrumSlot;
        case tomTomVoice: return opl2::tomTomSlot;
        case topCymbalVoice: return opl2::topCymbalSlot;
        case hiHatVoice: return opl2::hiHatSlot;
        default: break;
        }
    }
    return opl2::carrierSlot[v];
}

void RolPlayer::loadInstrument(int v, const bank::InstrumentImage &instrument)
{
    VoiceState &state = play_.voices[v];
    const bool singleOperator = isPercussion(v) && v != bassDrumVoice;
    // The output operator keeps the voice's own attenuation; only its key
    // scale level comes from the bank.
    const bank::OperatorImage &output = singleOperator ? instrument.modulator : instrument.carrier;
    state.keyScaleBits = output.level & opl2::levelKeyScaleBits;
    const int outSlot = outputSlot(v);

    if (!singleOperator) {
        const int slot = opl2::modulatorSlot[v];
        const bank::OperatorImage &m = instrument.modulator;
        opl->write(opl2::regCharacter + slot, m.character);
        opl->write(opl2::regLevel + slot, m.level);
        opl->write(opl2::regAttackDecay + slot, m.attackDecay);
        opl->write(opl2::regSustainRelease + slot, m.sustainRelease);
        opl->write(opl2::regFeedbackConnection + v, m.feedbackConnection);
        opl->write(opl2::regWaveform + slot, m.waveform);
    }
    opl->write(opl2::regCharacter + outSlot, output.character);
    opl->write(opl2::regLevel + outSlot, state.keyScaleBits | state.attenuation);
    opl->write(opl2::regAttackDecay + outSlot, output.attackDecay);
    opl->write(opl2::regSustainRelease + outSlot, output.sustainRelease);
    opl->write(opl2::regWaveform + outSlot, output.waveform);
}

// The attenuation is joined to the key scale bits as an int and cut to the
// register's 8 bits, so a level above full sets the key scale bits too.
void RolPlayer::setVolume(int v, float multiplier)
{
    VoiceState &state = play_.voices[v];
    const int attenuation = attenuationOf(multiplier);
    state.attenuation = static_cast<std::uint8_t>(attenuation & opl2::levelAttenuationBits);
    opl->write(opl2::regLevel + outputSlot(v), static_cast<std::uint8_t>(attenuation | state.keyScaleBits));
}

// Every note start strikes anew: the previous note is keyed off first.
void RolPlayer::startNote(int v, int note)
{
    keyOff(v);
    if (note == rol::restNote)
        return;
    VoiceState &state = play_.voices[v];
    state.note = note;
    state.keyed = true;
    ++state.strikes;
    if (!isPercussion(v)) {
        setPitch(v, note + play_.transpose, true);
        return;
    }
    if (v == bassDrumVoice)
        setPitch(bassDrumVoice, note, false);
    else if (v == tomTomVoice) {
        setPitch(tomTomChannel, note, false);
        setPitch(snareDrumChannel, note + tomTomToSnareSemitones, false);
    }
    play_.rhythm |= rhythmKeys[v];
    writeRhythm();
}

void RolPlayer::keyOff(int v)
{
    play_.voices[v].keyed = false;
    if (isPercussion(v)) {
        play_.rhythm &= static_cast<std::uint8_t>(~rhythmKeys[v]);
        writeRhythm();
        return;
    }
    play_.keyBlockFrequency[v] &= static_cast<std::uint8_t>(~opl2::keyOnBit);
    opl->write(opl2::regKeyBlockFrequency + v, play_.keyBlockFrequency[v]);
}

// Tunes the channel's note anew with the new bend, keyed as it is: also a
// channel that is silent, or that has played nothing yet (note 0).
void RolPlayer::bendNote(int v, float variation)
{
    play_.bendSteps[v] = bendStepsOfVariation(variation);
    setPitch(v, play_.channelNote[v], (play_.keyBlockFrequency[v] & opl2::keyOnBit) != 0);
}

// Note 0 is C of block 0; blocks wrap modulo 8, notes below 0 included. The
// channel's bend moves the note by whole semitones down and steps up; a bent
// note is held within the chip's 96 notes, as AdPlug holds it.
void RolPlayer::setPitch(int channel, int note, bool keyOn)
{
    play_.channelNote[channel] = note;
    const int steps = play_.bendSteps[channel];
    int bent = note + floorDiv(steps, bendStepsPerSemitone);
    if (steps != 0)
        bent = std::clamp(bent, 0, 8 * 12 - 1);
    const int frequency = bentFrequencyNumbers()[floorMod(steps, bendStepsPerSemitone)][floorMod(bent, 12)];
    const int block = floorMod(floorDiv(bent, 12), 8);
    play_.keyBlockFrequency[channel] =
        static_cast<std::uint8_t>((keyOn ? opl2::keyOnBit : 0) | block << 2 | (frequency >> 8));
    opl->write(opl2::regFrequencyLow + channel, frequency & 0xFF);
    opl->write(opl2::regKeyBlockFrequency + channel, play_.keyBlockFrequency[channel]);
}

void RolPlayer::writeRhythm() { opl->write(opl2::regRhythm, play_.rhythm); }

} // namespace velk
