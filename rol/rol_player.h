// The ROL engine: plays AdLib Visual Composer songs (version 0.4) with the
// instruments of an AdLib bank on an OPL2 chip, one song tick per update.
#pragma once

#include <player.h>

#include <array>
#include <cstdint>
#include <string>

#include "rol/rol_song_data.h"
#include "rol/rol_song_reader.h"

class binistream;

namespace velk {

class RolPlayer : public CPlayer {
public:
    explicit RolPlayer(Copl *opl);
    // A player of the song `other` holds (its bank, bends and key), from the
    // start, on `opl`: an unheard twin for rendering the song elsewhere.
    RolPlayer(const RolPlayer &other, Copl *opl);

    static CPlayer *factory(Copl *opl);

    // Reads the ROL song at `filename` with the bank chosen beside it
    // (chooseBankPath) and rewinds. False when either cannot be read.
    bool load(const std::string &filename, const CFileProvider &fp) override;

    // Reads a ROL song from an open stream with the bank at `bankPath`,
    // opened and closed through `fp`; rewinds on success. The stream stays
    // open. On failure the player keeps no song.
    bool loadSong(binistream &song, const std::string &bankPath, const CFileProvider &fp);

    // Plays one tick; false from the update that plays the song's last tick
    // (the largest time of last note) on.
    bool update() override;
    void rewind(int subsong = -1) override;
    // Ticks per second, kept within [minRefresh, maxRefresh].
    float getrefresh() override;
    std::string gettype() override;

    // A tempo of 0, a negative or a non-finite one would stop the song or
    // divide by zero in the callers: rates are held to at least one tick in
    // four seconds (NaN counts as too slow; the render loop's floor is the
    // same, the slowest rate its frame arithmetic can advance at, so ticks
    // fall where the measured length says) and at most the OPL2 timer's
    // fastest (one tick per 80 us).
    static constexpr float minRefresh = 0.25f;
    static constexpr float maxRefresh = 12500.0f;

    // With bends on, the song's pitch events bend the notes of its melodic
    // voices as AdPlug 2.3.3's ROL player bends them: by up to a semitone
    // down or up, in steps of a twenty-fifth of a semitone. Off (as the
    // plug-in plays), pitch events are stepped over and change nothing.
    void setPitchBends(bool on) { pitchBends_ = on; }

    // What the last load found (for messages) and the song it read.
    rol::SongReadStatus loadStatus() const { return loadStatus_; }
    const rol::SongData &song() const { return song_; }
    // The tick the next update plays.
    int tick() const { return play_.tick; }

    // A voice as the engine last left it, for those who show or list what
    // plays: whether its note is keyed on, the song's note (as setPitch
    // takes it, before any transposition; restNote before the first), the
    // instrument (index into song().instruments, -1 before the first), the
    // output operator's attenuation, how many notes it has struck so far
    // and how many of its pitch events have been played.
    struct VoiceView {
        bool keyed = false;
        int note = rol::restNote;
        int instrument = -1;
        std::uint8_t attenuation = 0;
        unsigned strikes = 0;
        std::size_t pitchesPlayed = 0;
    };
    VoiceView voiceView(int voice) const;
    // The multiplier of the basic tempo the last tempo event set.
    float tempoMultiplier() const { return play_.tempoMultiplier; }

    // Everything the engine changes as the song plays: a copy taken
    // between updates and put back with restorePlayState (on a player of
    // the same song, its chip put back to the same moment) plays on from
    // there as the song did. Plain data, under a kilobyte. Each voice's
    // part of it:
    struct VoiceState {
        std::size_t nextNote = 0;
        int ticksLeft = 0;  // in the sounding note or rest
        bool notesDone = false;
        std::size_t nextTimbre = 0;
        std::size_t nextVolume = 0;
        std::size_t nextPitch = 0;
        std::uint8_t attenuation = 0;  // of the output operator, 0..63
        std::uint8_t keyScaleBits = 0;  // of the output operator, from the instrument
        int note = rol::restNote;       // the song's note last started
        bool keyed = false;
        int instrument = -1;
        unsigned strikes = 0;
    };
    struct PlayState {
        int tick = 0;
        bool ended = false;
        std::size_t nextTempo = 0;
        float tempoMultiplier = 1.0f;
        std::array<VoiceState, rol::maxVoices> voices{};
        std::array<std::uint8_t, 9> keyBlockFrequency{};  // B0h..B8h as last written
        std::uint8_t rhythm = 0;                          // BDh as last written
        std::array<int, 9> channelNote{};  // the note each channel was last tuned to
        std::array<int, 9> bendSteps{};    // each channel's bend, in 25ths of a semitone
        int transpose = 0;
    };
    const PlayState &playState() const { return play_; }
    void restorePlayState(const PlayState &state) { play_ = state; }

    // Moves the melodic voices' notes by `semitones` (the rhythm section
    // keeps its pitch), retuning the notes that sound now. Kept across
    // rewinds; 0 (as the plug-in plays) changes nothing.
    void setTranspose(int semitones);
    // How many times setTranspose has retuned the chip (a state it leaves
    // is not one a render at either key gives).
    unsigned retunes() const { return retunes_; }

private:
    void playVoice(int voice);
    void loadInstrument(int voice, const bank::InstrumentImage &instrument);
    void setVolume(int voice, float multiplier);
    void startNote(int voice, int note);
    void keyOff(int voice);
    void setPitch(int channel, int note, bool keyOn);
    void bendNote(int voice, float variation);
    int outputSlot(int voice) const;
    bool isPercussion(int voice) const;  // a voice of the rhythm section
    void writeRhythm();

    rol::SongData song_;
    rol::SongReadStatus loadStatus_ = rol::SongReadStatus::ok;
    bool loaded_ = false;

    PlayState play_;
    bool pitchBends_ = false;
    unsigned retunes_ = 0;
};

// The steps of a twenty-fifth of a semitone that a ROL pitch variation bends
// a note by, as the engine bends it with bends on (-25 to +24).
int pitchBendSteps(float variation);

} // namespace velk
