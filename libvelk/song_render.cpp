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

// Frames of the block in `held` not yet handed out.
std::size_t heldFrames(const velk_song &song)
{
    return song.held.size() / static_cast<std::size_t>(song.channels) - song.heldAt;
}

// The next block of the tick being played, as every render cuts it.
std::uint64_t nextBlock(const velk_song &song) { return std::min(song.pendingFrames, chipBlockFrames); }

// Whether the emulator's samples are the same however its frames are asked
// for: woody decides some things once per block (whether a voice's vibrato
// and an idle channel are computed), and Ken's drum noise starts again with
// every block. The others render what is asked, so that a control is heard
// from the very next frame; these two from the next block (a tick at most).
bool rendersAlikeInAnyBlocks(velk_emulator emulator)
{
    return emulator == VELK_EMULATOR_NUKED || emulator == VELK_EMULATOR_SATOH;
}

void renderBlock(velk_song &song, std::int16_t *out, std::uint64_t n)
{
    song.chip->update(out, static_cast<int>(n));
    song.pendingFrames -= n;
    song.chipFrames += n;
}

// Renders the rest of the tick being played into scratch: the chip's time
// passes, nobody hears it.
void runPending(velk_song &song, std::vector<std::int16_t> &scratch)
{
    song.held.clear();
    song.heldAt = 0;
    scratch.resize(static_cast<std::size_t>(chipBlockFrames) * static_cast<std::size_t>(song.channels));
    while (song.pendingFrames > 0)
        renderBlock(song, scratch.data(), nextBlock(song));
}

} // namespace

std::size_t renderFrames(velk_song &song, std::int16_t *buffer, std::size_t frames)
{
    noteRendering(song);
    const auto channels = static_cast<std::size_t>(song.channels);
    std::size_t written = 0;
    while (written < frames) {
        if (const std::size_t waiting = heldFrames(song)) {
            const std::size_t n = std::min(waiting, frames - written);
            std::copy_n(song.held.data() + song.heldAt * channels, n * channels, buffer + written * channels);
            song.heldAt += n;
            written += n;
            if (song.heldTempo == song.tempo)
                song.framesSinceAnchor += n;
            else
                song.anchorMs += static_cast<double>(n) * 1000.0 * song.heldTempo / song.sampleRate;
            continue;
        }
        if (song.pendingFrames == 0) {
            takeSnapshotIfDue(song);
            if (!playTick(song))
                break;
            continue;
        }
        const bool anyBlocks = rendersAlikeInAnyBlocks(song.emulator);
        const std::uint64_t n = anyBlocks ? std::min<std::uint64_t>(nextBlock(song), frames - written) : nextBlock(song);
        if (frames - written >= n) {
            renderBlock(song, buffer + written * channels, n);
            written += static_cast<std::size_t>(n);
            song.framesSinceAnchor += n;
        } else {
            song.held.resize(static_cast<std::size_t>(n) * channels);
            song.heldAt = 0;
            song.heldTempo = song.tempo;
            renderBlock(song, song.held.data(), n);
        }
    }
    return written;
}

bool atSongStart(const velk_song &song) { return song.nextTickMs == 0.0f && !song.ended; }

double positionMs(const velk_song &song)
{
    return song.anchorMs + static_cast<double>(song.framesSinceAnchor) * 1000.0 * song.tempo / song.sampleRate;
}

void renderUnheardTo(velk_song &song, double ms)
{
    noteRendering(song);
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
    // Ticks start at float sums of song time, as the length is summed.
    const double target = static_cast<double>(static_cast<float>(std::max<std::int64_t>(ms, 0)));
    startSeekFrom(song, target);
    renderUnheardTo(song, target);
}

void setTempo(velk_song &song, double tempo)
{
    const double previous = song.tempo;
    if (tempo != previous && !atSongStart(song))
        loseExactness(song);
    // Frames rendered and not yet handed out keep the tempo they have.
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
