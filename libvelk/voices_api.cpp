// The C functions of the voices, the score, the voice state and the
// listener's controls.
#include <cmath>
#include <new>

#include "libvelk/emulator_chip.h"
#include "libvelk/handle_errors.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_render.h"
#include "libvelk/song_score.h"
#include "libvelk/velk.h"
#include "libvelk/voice_attenuation.h"
#include "rol/rol_player.h"

using velk::lib::setError;

namespace {

const char *const voiceNames[VELK_MAX_VOICES] = {"Voice 1", "Voice 2", "Voice 3", "Voice 4", "Voice 5", "Voice 6",
                                                 "Voice 7", "Voice 8", "Voice 9"};
const char *const rhythmNames[5] = {"Bass drum", "Snare drum", "Tom-tom", "Cymbal", "Hi-hat"};

bool hasSong(const velk_song *song) { return song && song->open; }

bool isVoice(const velk_song *song, int voice) { return hasSong(song) && voice >= 0 && voice < song->voiceCount; }

bool isRhythm(const velk_song *song, int voice) { return song->voiceCount == 11 && voice >= 6; }

// The handle's error for a call that cannot be answered.
velk_error refuse(const velk_song *song, const char *why)
{
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    return setError(*const_cast<velk_song *>(song), VELK_ERROR_INVALID_ARGUMENT, why);
}

std::uint32_t voiceMask(const velk_song &song) { return (std::uint32_t{1} << song.voiceCount) - 1; }

} // namespace

extern "C" {

VELK_API int velk_voice_count(const velk_song *song) { return hasSong(song) ? song->voiceCount : 0; }

VELK_API const char *velk_voice_name(const velk_song *song, int voice)
{
    if (!isVoice(song, voice))
        return nullptr;
    return isRhythm(song, voice) ? rhythmNames[voice - 6] : voiceNames[voice];
}

VELK_API int velk_voice_is_rhythm(const velk_song *song, int voice)
{
    return isVoice(song, voice) && isRhythm(song, voice) ? 1 : 0;
}

VELK_API size_t velk_note_count(const velk_song *song)
{
    return hasSong(song) ? velk::lib::songScore(*song).notes.size() : 0;
}

VELK_API velk_error velk_note_at(const velk_song *song, size_t index, velk_note *out)
{
    if (!hasSong(song) || !out || index >= velk::lib::songScore(*song).notes.size())
        return refuse(song, "no such note");
    *out = velk::lib::songScore(*song).notes[index];
    return VELK_OK;
}

VELK_API int velk_ticks_per_beat(const velk_song *song)
{
    return hasSong(song) ? static_cast<int>(song->player->song().ticksPerBeat) : 0;
}

VELK_API size_t velk_tempo_count(const velk_song *song)
{
    return hasSong(song) ? velk::lib::songScore(*song).tempos.size() : 0;
}

VELK_API velk_error velk_tempo_at(const velk_song *song, size_t index, velk_tempo_change *out)
{
    if (!hasSong(song) || !out || index >= velk::lib::songScore(*song).tempos.size())
        return refuse(song, "no such tempo change");
    *out = velk::lib::songScore(*song).tempos[index];
    return VELK_OK;
}

VELK_API size_t velk_pitch_count(const velk_song *song)
{
    return hasSong(song) ? velk::lib::songScore(*song).pitches.size() : 0;
}

VELK_API velk_error velk_pitch_at(const velk_song *song, size_t index, velk_pitch_change *out)
{
    if (!hasSong(song) || !out || index >= velk::lib::songScore(*song).pitches.size())
        return refuse(song, "no such pitch event");
    *out = velk::lib::songScore(*song).pitches[index];
    return VELK_OK;
}

VELK_API velk_error velk_voice_state_at(const velk_song *song, int voice, velk_voice_state *out)
{
    if (!isVoice(song, voice) || !out)
        return refuse(song, "no such voice");
    *out = velk::lib::voiceState(*song, voice);
    return VELK_OK;
}

VELK_API velk_error velk_set_muted_voices(velk_song *song, uint32_t mask)
{
    if (!hasSong(song))
        return refuse(song, "the song did not open");
    song->mutedVoices = mask & voiceMask(*song);
    song->chip->setMutedVoices(song->mutedVoices);
    return VELK_OK;
}

VELK_API uint32_t velk_muted_voices(const velk_song *song) { return hasSong(song) ? song->mutedVoices : 0; }

VELK_API velk_error velk_set_voice_gain(velk_song *song, int voice, double db)
{
    if (!isVoice(song, voice))
        return refuse(song, "no such voice");
    constexpr double quietest = -velk::lib::mostAttenuationSteps * velk::lib::attenuationStepDb;
    if (!(db <= 0.0 && db >= quietest))
        return refuse(song, "a voice's gain must be 0 to -47.25 dB");
    song->voices->setVoiceGain(voice, static_cast<int>(std::lround(-db / velk::lib::attenuationStepDb)));
    return VELK_OK;
}

VELK_API double velk_voice_gain(const velk_song *song, int voice)
{
    if (!isVoice(song, voice))
        return 0.0;
    const int steps = song->voices->voiceGain(voice);
    return steps == 0 ? 0.0 : -steps * velk::lib::attenuationStepDb;
}

VELK_API velk_error velk_set_tempo(velk_song *song, double tempo)
{
    if (!hasSong(song))
        return refuse(song, "the song did not open");
    if (!(tempo >= 0.25 && tempo <= 4.0))
        return refuse(song, "the tempo must be 0.25 to 4");
    velk::lib::setTempo(*song, tempo);
    return VELK_OK;
}

VELK_API double velk_tempo(const velk_song *song) { return hasSong(song) ? song->tempo : 0.0; }

VELK_API velk_error velk_set_transpose(velk_song *song, int semitones)
{
    if (!hasSong(song))
        return refuse(song, "the song did not open");
    if (semitones < -12 || semitones > 12)
        return refuse(song, "the transposition must be -12 to +12 semitones");
    song->transpose = semitones;
    song->player->setTranspose(semitones);
    return VELK_OK;
}

VELK_API int velk_transpose(const velk_song *song) { return hasSong(song) ? song->transpose : 0; }

} // extern "C"
