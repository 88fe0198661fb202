// The listener's controls velkrender applies to each song: voices muted or
// soloed (--mute, --solo), tempo (--tempo) and key (--transpose).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "libvelk/velk.h"

namespace velk::render {

// Voices as a command line names them: numbers 1 to 11 as velkplay shows
// them, and the rhythm voices of a percussive song by name. Names cannot be
// numbers: a percussive song's bass drum is voice 7, a melodic song's
// voice 7 is melodic.
struct VoiceList {
    std::uint32_t numbers = 0;  // bit n-1 for voice n
    std::uint32_t rhythm = 0;   // bit 0 bass drum ... bit 4 hi-hat
    bool given = false;
};

// Adds the voices of `text` to `list`: items separated by commas, each a
// number 1-11, a range such as 1-6, or bd, sd, tt, cy, hh (also velkplay's
// keys b, s, t, c, h and bass, snare, tom, cymbal, hihat; any case). False
// with `error` saying which item is wrong.
bool addVoices(const std::string &text, VoiceList &list, std::string &error);

// The voices of `list` in `song`, as a mask (bit 0 for voice 1). Items the
// song does not have (voice 10 of a melodic song, bd in a melodic song) are
// named in `missing`, comma separated, and left out.
std::uint32_t voiceMask(const VoiceList &list, const velk_song *song, std::string &missing);

// One --gain: the voices it names and their attenuation.
struct VoiceGain {
    VoiceList voices;
    double db = 0.0;  // 0 down to -47.25
};

struct ListenerControls {
    VoiceList muted;
    VoiceList soloed;
    std::vector<VoiceGain> gains;  // in order: a later one wins
    double tempo = 1.0;  // 0.25 to 4
    int transpose = 0;   // -12 to 12 semitones

    bool changesTheSound() const
    {
        return muted.given || soloed.given || !gains.empty() || tempo != 1.0 || transpose != 0;
    }
};

// The voices `controls` silence in `song`: the muted ones, and with a solo
// every voice but the soloed ones. `missing` as for voiceMask.
std::uint32_t mutedVoices(const ListenerControls &controls, const velk_song *song, std::string &missing);

// A "--gain" value, VOICE=DB: voices as addVoices reads them, DB 0 down to
// -47.25 (a leading minus may be left out: 6 means -6). False with `error`.
bool parseGain(const std::string &text, VoiceGain &gain, std::string &error);

// Sets the controls on `song`: mute, gains, tempo, transpose. False with the
// library's message in `error`.
bool applyControls(const ListenerControls &controls, velk_song *song, std::string &missing, std::string &error);

// "--tempo" and "--transpose" values; false with `error` when out of range.
bool parseTempo(const std::string &text, double &tempo, std::string &error);
bool parseTranspose(const std::string &text, int &semitones, std::string &error);

} // namespace velk::render
