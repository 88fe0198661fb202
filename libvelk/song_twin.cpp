#include "libvelk/song_twin.h"

#include <memory>

#include "libvelk/emulator_chip.h"
#include "libvelk/song_render.h"
#include "libvelk/voice_attenuation.h"
#include "rol/rol_player.h"

namespace velk::lib {

void makeTwin(const velk_song &song, velk_song &twin, TwinControls controls)
{
    twin.sampleRate = song.sampleRate;
    twin.channels = song.channels;
    twin.emulator = song.emulator;
    twin.pitchBends = song.pitchBends;
    twin.lengthMs = song.lengthMs;
    twin.voiceCount = song.voiceCount;
    std::unique_ptr<VoiceAttenuation> chip = makeEmulatorChip(twin.emulator, twin.sampleRate, twin.channels);
    twin.voices = chip.get();
    twin.chip = std::move(chip);
    twin.player = std::make_unique<RolPlayer>(*song.player, twin.chip.get());
    // The song's chip saw two starts when it opened (its length was measured
    // between them, on another chip): so does the twin's.
    twin.player->rewind(0);
    twin.open = true;
    twin.transpose = song.transpose;
    twin.player->setTranspose(song.transpose);
    twin.retunesSeen = twin.player->retunes();
    setTempo(twin, song.tempo);
    if (controls == TwinControls::all) {
        twin.mutedVoices = song.mutedVoices;
        twin.voices->setMutedVoices(song.mutedVoices);
        for (int v = 0; v < VELK_MAX_VOICES; ++v)
            twin.voices->setVoiceGain(v, song.voices->voiceGain(v));
    }
}

} // namespace velk::lib
