#include "libvelk/song_score.h"

#include <player.h>
#include <silentopl.h>

#include <algorithm>
#include <cmath>

#include "playback/song_length.h"
#include "playback/tick_rate.h"
#include "rol/rol_player.h"

namespace velk::lib {
namespace {

// CPlayer keeps its chip in a protected member; a derived class may name
// it, so that the copy plays on a chip of its own.
struct PlayerChip : CPlayer {
    static Copl *CPlayer::*member() { return &PlayerChip::opl; }
};

int midiKey(int engineNote) { return std::clamp(engineNote + 12, 0, 127); }

int velocityOf(std::uint8_t attenuation)
{
    return std::max(1, static_cast<int>(std::lround(127.0 * (63 - (attenuation & 0x3F)) / 63.0)));
}

} // namespace

int voiceCountOf(const velk_song &song) { return song.player->song().percussive() ? 11 : 9; }

const char *instrumentName(const velk_song &song, int instrument)
{
    const auto &list = song.player->song().instruments.list;
    if (instrument < 0 || static_cast<std::size_t>(instrument) >= list.size())
        return "";
    return list[static_cast<std::size_t>(instrument)].name.c_str();
}

Score scoreOf(const velk_song &song)
{
    Score score;
    RolPlayer player(*song.player);
    CSilentopl silent;
    player.*PlayerChip::member() = &silent;
    player.rewind(0);

    const rol::SongData &data = player.song();
    const int voices = std::min<int>(voiceCountOf(song), static_cast<int>(data.voices.size()));
    score.notesOfVoice.assign(static_cast<std::size_t>(voiceCountOf(song)), {});
    std::vector<RolPlayer::VoiceView> last(static_cast<std::size_t>(voices));
    std::vector<long> open(static_cast<std::size_t>(voices), -1);  // the note each voice sounds
    double lastRate = -1.0;
    float nowMs = 0.0f;

    const auto closeNote = [&](int v, std::int32_t tick) {
        if (open[v] < 0)
            return;
        velk_note &note = score.notes[static_cast<std::size_t>(open[v])];
        note.end_tick = tick;
        note.end_ms = static_cast<std::int64_t>(nowMs);
        open[v] = -1;
    };

    bool playing = true;
    while (playing) {
        const std::int32_t tick = player.tick();
        playing = player.update();
        for (int v = 0; v < voices; ++v) {
            const RolPlayer::VoiceView view = player.voiceView(v);
            RolPlayer::VoiceView &before = last[static_cast<std::size_t>(v)];
            if (view.strikes != before.strikes || (!view.keyed && before.keyed))
                closeNote(v, tick);
            if (view.strikes != before.strikes && view.keyed) {
                velk_note note{};
                note.voice = v;
                note.key = midiKey(view.note);
                note.velocity = velocityOf(view.attenuation);
                note.start_tick = tick;
                note.end_tick = tick;
                note.start_ms = note.end_ms = static_cast<std::int64_t>(nowMs);
                note.instrument = instrumentName(song, view.instrument);
                open[v] = static_cast<long>(score.notes.size());
                score.notesOfVoice[static_cast<std::size_t>(v)].push_back(score.notes.size());
                score.notes.push_back(note);
                score.instrumentOfNote.push_back(view.instrument);
            }
            const bool melodic = !(data.percussive() && v >= 6);
            const auto &pitches = data.voices[static_cast<std::size_t>(v)].pitches;
            for (std::size_t p = before.pitchesPlayed; melodic && p < view.pitchesPlayed && p < pitches.size(); ++p)
                score.pitches.push_back({v, tick, static_cast<std::int64_t>(nowMs),
                                         pitchBendSteps(pitches[p].value) / 25.0});
            before = view;
        }
        if (!playing)
            break;
        const double rate = boundedTickRate(player.getrefresh());
        if (rate != lastRate) {
            const double ticksPerBeat = std::max<int>(1, data.ticksPerBeat);
            score.tempos.push_back({tick, static_cast<std::int64_t>(nowMs), rate * 60.0 / ticksPerBeat, rate});
            lastRate = rate;
        }
        nowMs += 1000.0f / static_cast<float>(rate);
        if (nowMs >= songLengthLimitMs)
            break;
    }
    // Notes still sounding at the end end with the song.
    for (int v = 0; v < voices; ++v)
        closeNote(v, player.tick());
    if (score.tempos.empty()) {
        const double rate = boundedTickRate(player.getrefresh());
        score.tempos.push_back({0, 0, rate * 60.0 / std::max<int>(1, data.ticksPerBeat), rate});
    }
    return score;
}

const Score &songScore(const velk_song &song) noexcept
{
    static const Score none;
    if (!song.scored) {
        // Handles are used by one thread at a time: the cache is the handle's.
        velk_song &handle = const_cast<velk_song &>(song);
        try {
            handle.score = scoreOf(song);
        } catch (...) {
            return none;
        }
        handle.scored = true;
    }
    return song.score;
}

} // namespace velk::lib
