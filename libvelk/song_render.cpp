#include "libvelk/song_render.h"

#include <opl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "libvelk/emulator_chip.h"
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

// A seek lets the chip run through what still sounds at the target: from the
// start of each voice's last note, when that note is held or its release is
// still heard there, but never more than the longest run-up before the
// target, nor less than the shortest (so that a note struck just before the
// target has its attack behind it). Nuked costs the most per second run, and its
// envelopes that would have faded before the run-up are put at rest; the
// others are cheap enough to run longer. Measured on the shared songs, these
// keep every 10 s within 0.4 dB of the whole song.
constexpr double shortestRunUpMs = 250.0;

double longestRunUp(velk_emulator emulator)
{
    switch (emulator) {
    case VELK_EMULATOR_SATOH: return 6000.0;
    case VELK_EMULATOR_KEN:
    case VELK_EMULATOR_WOODY: return 3000.0;
    default: return 1500.0;
    }
}

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

// How long after its key-off a note's release is still heard.
double tailOf(const velk_song &song, std::size_t index, double limitMs)
{
    const int instrument = songScore(song).instrumentOfNote[index];
    if (instrument < 0)
        return limitMs;
    const auto &image = song.player->song().instruments.list[static_cast<std::size_t>(instrument)].image;
    const bool singleOperator = song.player->song().percussive() && songScore(song).notes[index].voice > 6;
    return releaseTailMs(envelopeOf(singleOperator ? image.modulator : image.carrier), limitMs);
}

// Where the chip must start running for the target to sound right: at the
// start of each voice's last note before the target that is held there or
// still heard releasing, and of the notes before it whose release it struck
// into (a note starts from where the envelope it follows left off).
double runUpStart(const velk_song &song, double target)
{
    const double longestRunUpMs = longestRunUp(song.emulator);
    const double earliest = target - longestRunUpMs;
    double start = target - shortestRunUpMs;
    const auto &notes = songScore(song).notes;
    for (const std::vector<std::size_t> &mine : songScore(song).notesOfVoice) {
        auto at = std::upper_bound(mine.begin(), mine.end(), target,
                                   [&](double t, std::size_t i) { return t < notes[i].start_ms; });
        double heardUntil = target;
        while (at != mine.begin() && start > earliest) {
            --at;
            const velk_note &note = notes[*at];
            if (static_cast<double>(note.end_ms) + tailOf(song, *at, longestRunUpMs) < heardUntil)
                break;
            start = std::min(start, static_cast<double>(note.start_ms));
            heardUntil = static_cast<double>(note.start_ms);
        }
    }
    return std::max(start, earliest);
}

// The voices whose last note, struck or released in ticks played without
// time, would have faded out by `nowMs` in the whole song (by the envelope's
// rates without key scaling, which only ever make the chip faster).
std::uint32_t fadedVoices(const velk_song &song, double nowMs)
{
    std::uint32_t faded = 0;
    const int played = song.player->tick();
    const Score &score = songScore(song);
    for (int v = 0; v < song.voiceCount && static_cast<std::size_t>(v) < score.notesOfVoice.size(); ++v) {
        const std::vector<std::size_t> &mine = score.notesOfVoice[static_cast<std::size_t>(v)];
        const auto after = std::lower_bound(mine.begin(), mine.end(), played, [&](std::size_t i, int tick) {
            return score.notes[i].start_tick < tick;
        });
        if (after == mine.begin()) {
            faded |= 1u << v;
            continue;
        }
        const std::size_t index = *(after - 1);
        const velk_note &note = score.notes[index];
        const int instrument = score.instrumentOfNote[index];
        if (instrument < 0)
            continue;
        const auto &image = song.player->song().instruments.list[static_cast<std::size_t>(instrument)].image;
        const bool singleOperator = song.player->song().percussive() && v > 6;
        const double held = note.end_tick < played ? static_cast<double>(note.end_ms - note.start_ms) : -1.0;
        const double level = envelopeAmplitude(envelopeOf(singleOperator ? image.modulator : image.carrier),
                                               nowMs - static_cast<double>(note.start_ms), held);
        if (level < 1e-3)
            faded |= 1u << v;
    }
    return faded;
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
    const float target = static_cast<float>(std::max<std::int64_t>(ms, 0));
    const double runUp = runUpStart(song, static_cast<double>(target));
    std::vector<std::int16_t> scratch;
    bool running = false;
    if (static_cast<double>(target) < positionMs(song)) {
        song.player->rewind(0);
        song.ended = false;
        song.nextTickMs = 0.0f;
        song.pendingFrames = 0;
        song.owedFrames = 0.0;
        for (VoiceKeying &k : song.keying)
            k = VoiceKeying{};
    } else if (positionMs(song) >= runUp) {
        runPending(song, scratch);
        running = true;
    }
    // Ticks before the run-up are played without time passing on the chip
    // (it hears their writes); those from it on are rendered and dropped.
    if (!running)
        song.chip->setTimeless(true);
    while (target > song.nextTickMs) {
        if (!running && static_cast<double>(song.nextTickMs) >= runUp) {
            song.chip->restVoices(fadedVoices(song, song.nextTickMs));
            song.chip->setTimeless(false);
            running = true;
        }
        if (!playTick(song))
            break;
        if (running)
            runPending(song, scratch);
        else
            song.pendingFrames = 0;
    }
    if (!running)
        song.chip->setTimeless(false);
    song.pendingFrames = 0;
    song.owedFrames = 0.0;
    song.anchorMs = song.nextTickMs;
    song.framesSinceAnchor = 0;
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
