// An IMS song (Iyagi Music Song): a fixed header, a stream of MIDI-like
// events for eleven voices with delays between them, and a list of
// instrument names. Little-endian throughout; offsets from the file start.
//
// Three readers share this: the plug-in's file test (the six head bytes), the
// IMS player (the title) and the converter (everything else).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velk::ims {

constexpr std::size_t headSize = 6;
constexpr std::size_t titleOffset = 6;
constexpr std::size_t titleSize = 30;          // Johab text, NUL-ended unless it fills the field
constexpr std::size_t beatsPerMeasureOffset = 37;  // uint8
constexpr std::size_t musicSizeOffset = 42;    // uint32
constexpr std::size_t rhythmModeOffset = 58;   // uint8: 0 melodic, else percussive
constexpr std::size_t basicTempoOffset = 60;   // int16
constexpr std::size_t musicOffset = 71;        // the music data starts here
constexpr std::size_t headerSize = musicOffset;
// After the music data: one byte nobody reads, the uint16 instrument count,
// then the names.
constexpr std::size_t gapAfterMusic = 1;
constexpr std::size_t instrumentNameSize = 9;  // NUL-ended when shorter than 9

constexpr int voiceCount = 11;
constexpr unsigned unitsPerBeat = 240;  // delays count in 1/240 beat

// Bytes of the event stream with a meaning of their own.
constexpr std::uint8_t endOfSong = 0xFC;      // in a status position only
constexpr std::uint8_t wholeBeatDelay = 0xF8;  // in a delay position: 240 units, more follows

// Event kinds: the high four bits of a status byte.
enum class EventKind : std::uint8_t {
    none = 0x0,        // the status-less first record: only a delay
    noteOff = 0x8,     // key, velocity
    noteOn = 0x9,      // key, velocity (0 = silence)
    volume = 0xA,      // volume, 127 = full
    control = 0xB,     // no data, no effect
    instrument = 0xC,  // index into the instrument names
    pressure = 0xD,    // no data, no effect
    pitchBend = 0xE,   // uint16 little-endian, 16384 = unbent
    tempo = 0xF,       // 5 bytes: -, -, integer part, fraction in 1/128, -
};

// Number of data bytes that follow a status of this kind.
constexpr std::size_t dataSize(EventKind kind)
{
    switch (kind) {
    case EventKind::noteOff:
    case EventKind::noteOn:
    case EventKind::pitchBend: return 2;
    case EventKind::volume:
    case EventKind::instrument: return 1;
    case EventKind::tempo: return 5;
    default: return 0;
    }
}

// The recognition test: real songs start with 01 00 00 00 00 00, and
// 10 00 00 00 00 00 is accepted as well.
inline bool hasImsHead(const std::uint8_t *sixBytes)
{
    if (sixBytes[0] != 0x01 && sixBytes[0] != 0x10)
        return false;
    for (std::size_t i = 1; i < headSize; ++i)
        if (sixBytes[i] != 0)
            return false;
    return true;
}

using Title = std::array<std::uint8_t, titleSize>;
using InstrumentName = std::array<std::uint8_t, instrumentNameSize>;

struct Header {
    Title title{};                   // as stored (Johab)
    std::uint8_t beatsPerMeasure = 0;
    std::uint32_t musicSize = 0;     // bytes of music data at musicOffset
    std::uint8_t rhythmMode = 0;     // 0 melodic, else percussive
    std::int16_t basicTempo = 0;
};

struct Song {
    Header header;
    std::vector<std::uint8_t> music;          // the event stream, held whole
    std::vector<InstrumentName> instruments;  // lower-cased (A-Z only, up to the first NUL)
};

// The header fields; nothing when `size` is below the header's 71 bytes.
std::optional<Header> readHeader(const std::uint8_t *data, std::size_t size);

// Header, music data and instrument names. Nothing when the file is too
// short for any of them: no byte outside them is ever read.
std::optional<Song> readSong(const std::uint8_t *data, std::size_t size);

// ASCII capitals to small letters up to the first NUL, never past the field.
void lowerCaseName(InstrumentName &name);

// One record of the event stream: the event and the delay after it.
struct Event {
    EventKind kind = EventKind::none;
    std::uint8_t status = 0;  // as read or repeated by running status
    int voice = 0;            // low four bits of the status
    std::array<std::uint8_t, 5> data{};

    // Delay that separates this event from the next one:
    // 240 units per 0xF8 byte, then the final byte's value.
    std::uint32_t wholeBeats = 0;  // count of 0xF8 bytes
    std::uint8_t finalDelay = 0;

    std::uint8_t key() const { return data[0]; }
    std::uint8_t velocity() const { return data[1]; }     // note on / off
    std::uint8_t value() const { return data[0]; }        // volume, instrument index
    unsigned pitchBend() const { return data[0] | (data[1] << 8); }
    std::uint8_t tempoInteger() const { return data[2]; }
    std::uint8_t tempoFraction() const { return data[3]; }  // in 1/128
    std::uint64_t delayUnits() const { return std::uint64_t{unitsPerBeat} * wholeBeats + finalDelay; }
};

// Reads the event stream record by record; both passes of the conversion
// read it the same way. Stops at the end-of-song byte or at the end of the
// music data, whichever comes first; a record cut short there is dropped.
class EventReader {
public:
    enum class Step {
        event,     // `next` filled in one whole record
        end,       // no more records
        badVoice,  // a status with voice 11 to 15: the song is rejected
    };

    EventReader(const std::uint8_t *music, std::size_t size) : data_(music), size_(size) {}
    explicit EventReader(const std::vector<std::uint8_t> &music) : EventReader(music.data(), music.size()) {}

    Step next(Event &event);
    // Offset of the next unread byte in the music data.
    std::size_t position() const { return pos_; }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint8_t previousStatus_ = 0;  // none yet: the status-less kind
    bool finished_ = false;
};

} // namespace velk::ims
