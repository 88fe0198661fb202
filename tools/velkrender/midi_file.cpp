#include "tools/velkrender/midi_file.h"

#include <algorithm>

namespace velk::render {
namespace {

std::uint8_t byte(int value) { return static_cast<std::uint8_t>(value & 0x7F); }

void putVariableLength(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

void putBigEndian(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

MidiEvent channelEvent(std::uint32_t tick, int status, int channel, std::initializer_list<int> data)
{
    MidiEvent event{tick, {static_cast<std::uint8_t>(status | (channel & 0x0F))}};
    for (int value : data)
        event.bytes.push_back(byte(value));
    return event;
}

std::vector<std::uint8_t> trackBytes(const MidiTrack &track)
{
    std::vector<MidiEvent> events = track.events;
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent &a, const MidiEvent &b) { return a.tick < b.tick; });
    std::vector<std::uint8_t> body;
    std::uint32_t now = 0;
    for (const MidiEvent &event : events) {
        if (event.bytes.empty())
            continue;
        putVariableLength(body, event.tick - now);
        now = event.tick;
        if (event.bytes[0] == 0xFF && event.bytes.size() >= 2) {
            // Meta: FF, type, the data's length, the data.
            body.insert(body.end(), event.bytes.begin(), event.bytes.begin() + 2);
            putVariableLength(body, static_cast<std::uint32_t>(event.bytes.size() - 2));
            body.insert(body.end(), event.bytes.begin() + 2, event.bytes.end());
        } else {
            body.insert(body.end(), event.bytes.begin(), event.bytes.end());
        }
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<std::uint8_t> out{'M', 'T', 'r', 'k'};
    putBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace

MidiEvent noteOn(std::uint32_t tick, int channel, int key, int velocity)
{
    return channelEvent(tick, 0x90, channel, {key, std::clamp(velocity, 1, 127)});
}

MidiEvent noteOff(std::uint32_t tick, int channel, int key) { return channelEvent(tick, 0x80, channel, {key, 64}); }

MidiEvent controlChange(std::uint32_t tick, int channel, int controller, int value)
{
    return channelEvent(tick, 0xB0, channel, {controller, value});
}

MidiEvent pitchBend(std::uint32_t tick, int channel, int value)
{
    value = std::clamp(value, 0, 16383);
    return channelEvent(tick, 0xE0, channel, {value & 0x7F, value >> 7});
}

MidiEvent metaText(std::uint32_t tick, int type, const std::string &text)
{
    MidiEvent event{tick, {0xFF, static_cast<std::uint8_t>(type & 0x7F)}};
    for (const char c : text)
        event.bytes.push_back(static_cast<std::uint8_t>(c));
    return event;
}

MidiEvent tempoChange(std::uint32_t tick, std::uint32_t microsecondsPerBeat)
{
    microsecondsPerBeat = std::clamp<std::uint32_t>(microsecondsPerBeat, 1, 0xFFFFFF);
    MidiEvent event{tick, {0xFF, 0x51}};
    putBigEndian(event.bytes, microsecondsPerBeat, 3);
    return event;
}

std::vector<std::uint8_t> midiFileBytes(const MidiFile &file)
{
    std::vector<std::uint8_t> out{'M', 'T', 'h', 'd'};
    putBigEndian(out, 6, 4);
    putBigEndian(out, 1, 2);  // format 1: tracks played together
    putBigEndian(out, static_cast<std::uint32_t>(file.tracks.size()), 2);
    putBigEndian(out, static_cast<std::uint32_t>(std::clamp(file.ticksPerBeat, 1, 0x7FFF)), 2);
    for (const MidiTrack &track : file.tracks) {
        const std::vector<std::uint8_t> bytes = trackBytes(track);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace velk::render
