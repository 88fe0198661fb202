// A Standard MIDI File as plain data, and its bytes (format 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velk::render {

// One event: a channel message (status byte first) or a meta event (FF,
// type, then its data, whose length the writer adds).
struct MidiEvent {
    std::uint32_t tick = 0;
    std::vector<std::uint8_t> bytes;
};

// Events in the order they happen; those of one tick keep the order given.
struct MidiTrack {
    std::vector<MidiEvent> events;
};

struct MidiFile {
    int ticksPerBeat = 480;  // 1 to 32767
    std::vector<MidiTrack> tracks;
};

// Channels are 0 to 15 (General MIDI's drums are channel 9, "channel 10").
MidiEvent noteOn(std::uint32_t tick, int channel, int key, int velocity);
MidiEvent noteOff(std::uint32_t tick, int channel, int key);
MidiEvent controlChange(std::uint32_t tick, int channel, int controller, int value);
// `value` 0 to 16383, 8192 unbent.
MidiEvent pitchBend(std::uint32_t tick, int channel, int value);
// Meta events: 0x03 track name, 0x04 instrument name; text as given (UTF-8).
MidiEvent metaText(std::uint32_t tick, int type, const std::string &text);
// A tempo in microseconds per beat (1 to 0xFFFFFF).
MidiEvent tempoChange(std::uint32_t tick, std::uint32_t microsecondsPerBeat);

// The file's bytes: header, then each track with its events sorted by tick
// (stable) and an end-of-track at its last tick.
std::vector<std::uint8_t> midiFileBytes(const MidiFile &file);

} // namespace velk::render
