// Writes IMS songs from a list of events, for tests and for the demo song:
//
//     ims::SongSource song;
//     song.instruments = {"piano1"};
//     song.events = {instrument(0, 0), noteOn(0, 60, 100).after(120), noteOn(0, 60, 0)};
//     Bytes bytes = ims::writeSong(song);
//
// Each event carries the delay that follows it, as the file does.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace velk::ims {

struct SongEvent {
    Bytes bytes;                // the status byte (if any) and the data bytes
    std::uint32_t wholeBeats = 0;  // 0xF8 bytes of the delay, 240 units each
    std::uint8_t finalDelay = 0;   // the delay's last byte (any value but 0xF8)
    bool verbatim = false;         // `bytes` hold the whole record (or any bytes at all)

    // The delay after this event in units of 1/240 beat, written as 0xF8
    // bytes for whole beats and the rest as the final byte.
    SongEvent &after(std::uint64_t units);
    // The delay written exactly as these bytes: `wholeBeats` times 0xF8, then `finalByte`.
    SongEvent &afterBytes(std::uint32_t wholeBeats, std::uint8_t finalByte);
};

SongEvent noteOn(int voice, int key, int velocity);
SongEvent noteOff(int voice, int key, int velocity);
SongEvent volume(int voice, int value);
SongEvent instrument(int voice, int index);
SongEvent pitchBend(int voice, unsigned value);  // 16384 = unbent
// The factor of the basic tempo: integer part and fraction in 1/128.
SongEvent tempo(int integerPart, int fraction128);
SongEvent control(int voice);   // 0xB0 + voice: no data
SongEvent pressure(int voice);  // 0xD0 + voice: no data
// The status-less first record: only a delay (below 0x80, or it would read as a status).
SongEvent leadingDelay(std::uint8_t units);
// Bytes as they stand, and no delay: for streams no helper makes.
SongEvent raw(Bytes bytes);

struct SongSource {
    std::array<std::uint8_t, 6> head{0x01, 0, 0, 0, 0, 0};
    std::string title;  // up to 30 bytes (Johab); 30 leave no terminator
    std::uint8_t beatsPerMeasure = 4;
    std::uint8_t rhythmMode = 1;  // 0 melodic, else percussive
    std::int16_t basicTempo = 120;
    std::vector<SongEvent> events;
    bool runningStatus = false;  // omit a status byte equal to the previous record's
    bool endOfSong = true;       // end the music data with 0xFC
    // Announced music data size, when it should differ from what is written.
    std::optional<std::uint32_t> musicSize;
    std::vector<std::string> instruments;  // up to 9 bytes each
};

// The music data of `song`: the events and the end-of-song byte.
Bytes writeMusic(const SongSource &song);
// The whole file.
Bytes writeSong(const SongSource &song);

} // namespace velk::ims
