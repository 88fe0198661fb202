#include "libvelk/song_render.h"

#include <opl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "libvelk/emulator_chip.h"
#include "libvelk/key_holding.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_score.h"
#include "libvelk/song_snapshot.h"
#include "libvelk/voice_level.h"
#include "playback/tick_rate.h"
#include "rol/rol_player.h"

namespace velk::lib {
namespace {

// Frames handed to the chip at a time, as velkrender always rendered them.
constexpr std::uint64_t chipBlockFrames = 4096;

// Notes the keying of every voice after a tick, at the chip's clock.
void followKeys(velk_song &song)
{
    for (int v = 0; v < song.voiceCount; ++v) {
        const RolPlayer::VoiceView view = song.player->voiceView(v);
        VoiceKeying &k = song.keying[v];
        if (view.strikes != k.strikes && view.keyed)
            k.onFrame = song.chipFrames;
        if (k.keyed && (!view.keyed || view.strikes != k.strikes))
            k.offFrame = song.chipFrames;
        k.keyed = view.keyed;
        k.strikes = view.strikes;
    }
}

// Plays the next tick; false at the end. The frames it lasts follow the
// velkrender arithmetic: the sample rate over the player's rate (and the
// listener's tempo), the fraction carried to the next tick.
bool playTick(velk_song &song)
{
    if (song.ended || !song.player->update()) {
        song.ended = true;
        return false;
    }
    followKeys(song);
    song.nextTickMs += 1000.0f / boundedTickRate(song.player->getrefresh());
    song.owedFrames += song.sampleRate / (static_cast<double>(song.player->getrefresh()) * song.tempo);
    song.pendingFrames = static_cast<std::uint64_t>(song.owedFrames);
    song.owedFrames -= static_cast<double>(song.pendingFrames);
    return true;
}

// Renders the rest of the tick being played into scratch: the chip's time
// passes, nobody hears it.
void runPending(velk_song &song, std::vector<std::int16_t> &scratch)
{
    while (song.pendingFrames > 0) {
        const std::uint64_t n = std::min(song.pendingFrames, chipBlockFrames);
        scratch.resize(static_cast<std::size_t>(chipBlockFrames) * static_cast<std::size_t>(song.channels));
        song.chip->update(scratch.data(), static_cast<int>(n));
        song.pendingFrames -= n;
        song.chipFrames += n;
    }
}

// A seek without a snapshot steps through the ticks before its run-up with
// no time passing on the chip and the keys held off (key_holding.h), so the
// chip is silent there with every register set; from the run-up on it
// renders, unheard. The run-up starts early enough for every voice's
// envelope to be what the whole render has at the target: each voice goes
// back from the note sounding there through the notes whose envelope it
// starts from, until one whose start no earlier sound reaches (the voice
// was silent) or one that has settled where its key leaves it (sustain
// level, peak or silence) by when it matters, whatever level it started
// from. The envelope's times are the slowest the chip goes (without key
// scaling), with a margin for each emulator's rounding.
constexpr double settleMargin = 1.1;
constexpr double settleSlackMs = 20.0;

// A note whose attack ends this close to where it would have from silence
// has forgotten the level it started from.
constexpr double forgottenDb = 0.1;

struct NoteEnvelope {
    double settledMs;  // after the key-on, from any level
    double silentMs;   // after the key-off, from any level
    double attackMs;   // from silence
    double uncertainDb;
};

// The operators a note is heard through: the carrier, the modulator too
// when their outputs are added (and for the bass drum); the drums of one
// operator, that one.
NoteEnvelope envelopeOfNote(const velk_song &song, std::size_t index)
{
    const Score &score = songScore(song);
    const int instrument = score.instrumentOfNote[index];
    constexpr double never = HUGE_VAL;
    if (instrument < 0)
        return {never, never, never, never};
    const auto &image = song.player->song().instruments.list[static_cast<std::size_t>(instrument)].image;
    const int voice = score.notes[index].voice;
    const bool percussive = song.player->song().percussive();
    const bool singleOperator = percussive && voice > 6;
    const bool both = !singleOperator && ((image.modulator.feedbackConnection & 1) != 0 || (percussive && voice == 6));
    NoteEnvelope e{0.0, 0.0, 0.0, 0.0};
    const auto add = [&](const bank::OperatorImage &op) {
        const Envelope envelope = envelopeOf(op);
        e.settledMs = std::max(e.settledMs, settledAfterKeyOnMs(envelope) * settleMargin + settleSlackMs);
        e.silentMs = std::max(e.silentMs, silentAfterKeyOffMs(envelope) * settleMargin + settleSlackMs);
        e.attackMs = std::max(e.attackMs, attackMsOf(envelope) * settleMargin + settleSlackMs);
        e.uncertainDb = std::max(e.uncertainDb, attackUncertaintyDb(envelope) * settleMargin);
    };
    add(singleOperator ? image.modulator : image.carrier);
    if (both)
        add(image.modulator);
    return e;
}

// From when one voice must run for its envelope at `target` to be right.
double voiceRunUp(const velk_song &song, const std::vector<std::size_t> &mine, double target)
{
    const auto &notes = songScore(song).notes;
    auto at = std::upper_bound(mine.begin(), mine.end(), target,
                               [&](double t, std::size_t i) { return t < static_cast<double>(notes[i].start_ms); });
    // The time at which the voice's state must be right.
    double need = target;
    while (at != mine.begin()) {
        --at;
        const velk_note &note = notes[*at];
        const NoteEnvelope e = envelopeOfNote(song, *at);
        const double start = static_cast<double>(note.start_ms), end = static_cast<double>(note.end_ms);
        if (end <= need && end + e.silentMs <= need)
            return need;  // silent by then, whatever came before
        // The level that matters: at the key-off when it was released
        // before `need`, else at `need` itself.
        const double keyedUntil = std::min(end, need);
        if (start + e.settledMs <= keyedUntil)
            return keyedUntil - e.settledMs;  // struck then from silence, it has settled by then
        if (start + e.attackMs <= keyedUntil && e.uncertainDb <= forgottenDb)
            return start;  // its attack forgets where it started from
        need = start;  // it starts from where the note before left the envelope
    }
    return need;  // silent before the voice's first note
}

// Where the chip must start running for the target to sound right: the
// earliest any voice needs.
double runUpStart(const velk_song &song, double target)
{
    double start = target;
    for (const std::vector<std::size_t> &mine : songScore(song).notesOfVoice)
        start = std::min(start, voiceRunUp(song, mine, target));
    return start;
}

// Moves to `target` when no snapshot serves: on from the position when it
// is at or after the run-up, else from the start, stepping to the run-up
// without time.
void seekWithoutSnapshot(velk_song &song, double target)
{
    const double runUp = runUpStart(song, target);
    std::vector<std::int16_t> scratch;
    const double position = positionMs(song);
    if (target >= position && position >= runUp) {
        runPending(song, scratch);
    } else {
        song.player->rewind(0);
        song.ended = false;
        song.nextTickMs = 0.0f;
        song.pendingFrames = 0;
        song.owedFrames = 0.0;
        for (VoiceKeying &k : song.keying)
            k = VoiceKeying{};
        if (runUp > 0.0) {
            // A song's twin (loudness, seek index) plays on its chip directly.
            if (song.keys)
                song.keys->hold(true);
            song.chip->setTimeless(true);
            while (static_cast<double>(song.nextTickMs) < std::min(runUp, target) && playTick(song))
                song.pendingFrames = 0;
            if (song.keys)
                song.keys->hold(false);
            song.chip->setTimeless(false);
        }
    }
    while (target > static_cast<double>(song.nextTickMs) && playTick(song))
        runPending(song, scratch);
    song.pendingFrames = 0;
    song.owedFrames = 0.0;
    song.anchorMs = song.nextTickMs;
    song.framesSinceAnchor = 0;
}

} // namespace

std::size_t renderFrames(velk_song &song, std::int16_t *buffer, std::size_t frames)
{
    noteRendering(song);
    std::size_t written = 0;
    while (written < frames) {
        if (song.pendingFrames == 0) {
            takeSnapshotIfDue(song);
            if (!playTick(song))
                break;
            continue;
        }
        const std::uint64_t n = std::min<std::uint64_t>({song.pendingFrames, frames - written, chipBlockFrames});
        song.chip->update(buffer + written * static_cast<std::size_t>(song.channels), static_cast<int>(n));
        written += static_cast<std::size_t>(n);
        song.pendingFrames -= n;
        song.framesSinceAnchor += n;
        song.chipFrames += n;
    }
    return written;
}

double positionMs(const velk_song &song)
{
    return song.anchorMs + static_cast<double>(song.framesSinceAnchor) * 1000.0 * song.tempo / song.sampleRate;
}

void renderUnheardTo(velk_song &song, double ms)
{
    std::vector<std::int16_t> scratch;
    runPending(song, scratch);
    while (ms > static_cast<double>(song.nextTickMs)) {
        takeSnapshotIfDue(song);
        if (!playTick(song))
            break;
        runPending(song, scratch);
    }
    song.anchorMs = song.nextTickMs;
    song.framesSinceAnchor = 0;
}

void seekTo(velk_song &song, std::int64_t ms)
{
    // From a snapshot, or on from here, when either is near enough: the
    // same samples as the whole song.
    if (seekExactly(song, static_cast<double>(ms)))
        return;
    loseExactness(song);
    seekWithoutSnapshot(song, static_cast<double>(std::max<std::int64_t>(ms, 0)));
}

void setTempo(velk_song &song, double tempo)
{
    const double previous = song.tempo;
    if (tempo != previous)
        loseExactness(song);
    song.anchorMs = positionMs(song);
    song.framesSinceAnchor = 0;
    song.tempo = tempo;
    // The rest of the tick being played stretches or shrinks with it.
    const double rest = (static_cast<double>(song.pendingFrames) + song.owedFrames) * previous / tempo;
    song.pendingFrames = static_cast<std::uint64_t>(rest);
    song.owedFrames = rest - static_cast<double>(song.pendingFrames);
}

velk_voice_state voiceState(const velk_song &song, int voice)
{
    velk_voice_state state{};
    const RolPlayer::VoiceView view = song.player->voiceView(voice);
    const bool melodic = !(song.player->song().percussive() && voice >= 6);
    state.sounding = view.keyed ? 1 : 0;
    state.key = view.note == rol::restNote ? -1 : std::clamp(view.note + 12 + (melodic ? song.transpose : 0), 0, 127);
    state.instrument = instrumentName(song, view.instrument);
    state.level = 0.0f;
    if ((song.mutedVoices >> voice & 1u) || view.instrument < 0 || view.note == rol::restNote)
        return state;
    const VoiceKeying &k = song.keying[voice];
    const auto &image = song.player->song().instruments.list[static_cast<std::size_t>(view.instrument)].image;
    const bool singleOperator = !melodic && voice > 6;
    const double msPerFrame = 1000.0 / song.sampleRate;
    const double sinceOn = static_cast<double>(song.chipFrames - k.onFrame) * msPerFrame;
    const double held = k.keyed ? -1.0 : static_cast<double>(k.offFrame - k.onFrame) * msPerFrame;
    const double level = envelopeAmplitude(envelopeOf(singleOperator ? image.modulator : image.carrier), sinceOn, held) *
                         attenuationAmplitude(view.attenuation);
    state.level = static_cast<float>(std::clamp(level, 0.0, 1.0));
    return state;
}

} // namespace velk::lib
