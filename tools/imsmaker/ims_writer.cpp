#include "tools/imsmaker/ims_writer.h"

#include "converter/ims_song.h"

namespace velk::ims {
namespace {

SongEvent event(unsigned status, std::initializer_list<int> data)
{
    SongEvent e;
    e.bytes.push_back(static_cast<std::uint8_t>(status));
    for (int d : data)
        e.bytes.push_back(static_cast<std::uint8_t>(d));
    return e;
}

unsigned status(EventKind kind, int voice) { return (static_cast<unsigned>(kind) << 4) | (voice & 0x0F); }

} // namespace

SongEvent &SongEvent::after(std::uint64_t units)
{
    wholeBeats = static_cast<std::uint32_t>(units / unitsPerBeat);
    finalDelay = static_cast<std::uint8_t>(units % unitsPerBeat);
    return *this;
}

SongEvent &SongEvent::afterBytes(std::uint32_t beats, std::uint8_t finalByte)
{
    wholeBeats = beats;
    finalDelay = finalByte;
    return *this;
}

SongEvent noteOn(int voice, int key, int velocity) { return event(status(EventKind::noteOn, voice), {key, velocity}); }
SongEvent noteOff(int voice, int key, int velocity) { return event(status(EventKind::noteOff, voice), {key, velocity}); }
SongEvent volume(int voice, int value) { return event(status(EventKind::volume, voice), {value}); }
SongEvent instrument(int voice, int index) { return event(status(EventKind::instrument, voice), {index}); }
SongEvent pitchBend(int voice, unsigned value)
{
    return event(status(EventKind::pitchBend, voice), {static_cast<int>(value & 0xFF), static_cast<int>(value >> 8)});
}
SongEvent tempo(int integerPart, int fraction128) { return event(0xF0, {0, 0, integerPart, fraction128, 0}); }
SongEvent control(int voice) { return event(status(EventKind::control, voice), {}); }
SongEvent pressure(int voice) { return event(status(EventKind::pressure, voice), {}); }

SongEvent leadingDelay(std::uint8_t units)
{
    SongEvent e;
    e.finalDelay = units;
    return e;
}

SongEvent raw(Bytes bytes)
{
    SongEvent e;
    e.bytes = std::move(bytes);
    e.verbatim = true;
    return e;
}

Bytes writeMusic(const SongSource &song)
{
    Bytes music;
    int previous = -1;
    for (const SongEvent &e : song.events) {
        if (e.verbatim) {
            music.insert(music.end(), e.bytes.begin(), e.bytes.end());
            previous = -1;
            continue;
        }
        auto from = e.bytes.begin();
        if (!e.bytes.empty()) {
            if (song.runningStatus && e.bytes[0] == previous)
                ++from;
            previous = e.bytes[0];
        }
        music.insert(music.end(), from, e.bytes.end());
        music.insert(music.end(), e.wholeBeats, wholeBeatDelay);
        music.push_back(e.finalDelay);
    }
    if (song.endOfSong)
        music.push_back(endOfSong);
    return music;
}

Bytes writeSong(const SongSource &song)
{
    const Bytes music = writeMusic(song);
    Bytes out(song.head.begin(), song.head.end());
    putText(out, song.title, titleSize);
    putU8(out, 0);
    putU8(out, song.beatsPerMeasure);
    putZeros(out, musicSizeOffset - out.size());
    putU32(out, song.musicSize ? *song.musicSize : static_cast<std::uint32_t>(music.size()));
    putZeros(out, rhythmModeOffset - out.size());
    putU8(out, song.rhythmMode);
    putU8(out, 0);
    putU16(out, static_cast<std::uint16_t>(song.basicTempo));
    putZeros(out, musicOffset - out.size());
    out.insert(out.end(), music.begin(), music.end());
    putU8(out, 0);
    putU16(out, static_cast<unsigned>(song.instruments.size()));
    for (const std::string &name : song.instruments)
        putText(out, name, instrumentNameSize);
    return out;
}

} // namespace velk::ims
