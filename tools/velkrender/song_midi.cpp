#include "tools/velkrender/song_midi.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/velkrender/voice_instruments.h"

namespace velk::render {
namespace {

constexpr int drumChannel = 9;
constexpr int rhythmVoices = 5;

// RPN 0 (pitch bend sensitivity) set to one semitone, then the null RPN so
// later data entries change nothing.
void setBendRange(MidiTrack &track, int channel)
{
    for (const auto &[controller, value] : {std::pair{101, 0}, {100, 0}, {6, 1}, {38, 0}, {101, 127}, {100, 127}})
        track.events.push_back(controlChange(0, channel, controller, value));
}

// The track of one voice's notes: instrument names where they change, then
// each note, ended at the latest where the next begins.
MidiTrack voiceTrack(const velk_song *song, const VoicePart &part, int channel, int drum, int transpose)
{
    MidiTrack track;
    track.events.push_back(metaText(0, 0x03, partName(song, part)));
    if (drum < 0) {
        setBendRange(track, channel);
        for (std::size_t i = 0; i < velk_pitch_count(song); ++i) {
            velk_pitch_change bend;
            if (velk_pitch_at(song, i, &bend) == VELK_OK && bend.voice == part.voice)
                track.events.push_back(pitchBend(static_cast<std::uint32_t>(std::max(0, bend.tick)), channel,
                                                 8192 + static_cast<int>(std::lround(bend.semitones * 8192.0))));
        }
    }
    std::vector<velk_note> notes;
    for (std::size_t i = 0; i < velk_note_count(song); ++i) {
        velk_note note;
        if (velk_note_at(song, i, &note) == VELK_OK && note.voice == part.voice)
            notes.push_back(note);
    }
    std::string instrument;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const velk_note &note = notes[i];
        const auto start = static_cast<std::uint32_t>(std::max(0, note.start_tick));
        auto end = static_cast<std::uint32_t>(std::max(note.start_tick, note.end_tick));
        // A voice plays one note at a time: a note still held when the next
        // starts ends there, so that the next is heard as struck.
        if (i + 1 < notes.size())
            end = std::min(end, static_cast<std::uint32_t>(std::max(note.start_tick, notes[i + 1].start_tick)));
        const std::string name = note.instrument ? note.instrument : "";
        if (!name.empty() && name != instrument) {
            track.events.push_back(metaText(start, 0x04, name));
            instrument = name;
        }
        const int key = drum >= 0 ? drum : std::clamp(note.key + transpose, 0, 127);
        track.events.push_back(noteOn(start, channel, key, note.velocity));
        track.events.push_back(noteOff(end, channel, key));
    }
    return track;
}

} // namespace

int drumKey(int rhythmVoice)
{
    // Bass drum 1, acoustic snare, low tom, crash cymbal 1, closed hi-hat.
    static constexpr int keys[rhythmVoices] = {36, 38, 45, 49, 42};
    return rhythmVoice >= 0 && rhythmVoice < rhythmVoices ? keys[rhythmVoice] : 0;
}

bool songMidi(const velk_song *song, const MidiChoices &choices, MidiFile &file, std::string &error)
{
    const int ticksPerBeat = velk_ticks_per_beat(song);
    if (ticksPerBeat < 1 || ticksPerBeat > 0x7FFF) {
        error = "the song's " + std::to_string(ticksPerBeat) + " ticks a beat do not fit a MIDI file";
        return false;
    }
    file = MidiFile{};
    file.ticksPerBeat = ticksPerBeat;

    MidiTrack tempo;
    tempo.events.push_back(metaText(0, 0x03, choices.title));
    for (std::size_t i = 0; i < velk_tempo_count(song); ++i) {
        velk_tempo_change change;
        if (velk_tempo_at(song, i, &change) != VELK_OK || change.beats_per_minute <= 0)
            continue;
        const double microseconds = 60e6 / (change.beats_per_minute * choices.tempo);
        tempo.events.push_back(tempoChange(static_cast<std::uint32_t>(std::max(0, change.tick)),
                                           static_cast<std::uint32_t>(std::lround(microseconds))));
    }
    file.tracks.push_back(std::move(tempo));

    const int voices = velk_voice_count(song);
    for (const VoicePart &part : voiceParts(song)) {
        if (part.notes == 0 || (choices.muted & (1u << part.voice)))
            continue;
        const bool rhythm = velk_voice_is_rhythm(song, part.voice) != 0;
        const int drum = rhythm ? drumKey(part.voice - (voices - rhythmVoices)) : -1;
        const int channel = rhythm ? drumChannel : part.voice;
        file.tracks.push_back(voiceTrack(song, part, channel, drum, rhythm ? 0 : choices.transpose));
    }
    return true;
}

} // namespace velk::render
