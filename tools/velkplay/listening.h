// What the listener has asked of the song playing: voices muted, the tempo
// and the key. Plain data the keys change and the library applies; the
// plug-in plays the song as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velk::play {

struct Listening {
    std::uint32_t muted = 0;  // bit (1u << voice) for each voice silenced
    int tempoPercent = 100;   // 25 to 400, in steps of 5
    int transpose = 0;        // semitones, -12 to 12
    bool evenLoudness = false; // each song at -18 LUFS (ReplayGain 2.0), held below clipping
};

// Silences the voice, or lets it be heard again.
void toggleMute(Listening &listening, int voice);
// Lets only this voice be heard, or every voice when it already was alone.
void toggleSolo(Listening &listening, int voice, int voiceCount);
// The voice is the only one heard.
bool isSolo(const Listening &listening, int voice, int voiceCount);
// Faster (+1) or slower (-1) by 5%, held to 25%..400%.
void stepTempo(Listening &listening, int direction);
// A semitone up (+1) or down (-1), held to an octave either way.
void stepTranspose(Listening &listening, int direction);

// "tempo 115%  key -2" for what is not the song's own ("" when nothing is).
std::string listeningText(const Listening &listening);

// "even -3.2 dB" while songs are evened out (`gainDb` the song's, none while
// it is measured: "even ..."; `failure` when it cannot be); "" when off.
std::string evenLoudnessText(const Listening &listening, const std::optional<double> &gainDb,
                             const std::string &failure);

} // namespace velk::play
