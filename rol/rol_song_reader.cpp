#include "rol/rol_song_reader.h"

#include <fprovide.h>

#include <algorithm>

#include "rol/binary_input.h"

namespace velk::rol {
namespace {

// Closes the bank through its provider on every way out of the reading.
class OpenBank {
public:
    OpenBank(const CFileProvider &fp, const std::string &path) : fp_(fp), stream_(fp.open(path)) {}
    ~OpenBank()
    {
        if (stream_)
            fp_.close(stream_);
    }
    OpenBank(const OpenBank &) = delete;
    OpenBank &operator=(const OpenBank &) = delete;
    binistream *get() const { return stream_; }

private:
    const CFileProvider &fp_;
    binistream *stream_;
};

// A count of events: 0 or below means none.
int readCount(binistream &in) { return std::max<int>(0, readI16(in)); }

std::vector<TimedValue> readTimedValues(binistream &in)
{
    std::vector<TimedValue> events(readCount(in));
    for (TimedValue &e : events) {
        e.time = readI16(in);
        e.value = readF32(in);
    }
    return events;
}

// Note records carry no count: they run until their durations add up to the
// time of last note, in the file's own int16 arithmetic.
SongReadStatus readNotes(binistream &in, VoiceData &voice)
{
    voice.timeOfLastNote = readI16(in);
    if (voice.timeOfLastNote < 0)
        return SongReadStatus::tooLong;
    if (voice.timeOfLastNote == 0)
        return SongReadStatus::ok;
    std::int16_t sum = 0;
    do {
        const std::int16_t note = readI16(in);
        const std::int16_t duration = readI16(in);
        // Bytes past the end would never add up: a cut file is not a song.
        if (in.eof())
            return SongReadStatus::truncatedNotes;
        voice.notes.push_back({note - 12, duration});
        sum = static_cast<std::int16_t>(sum + duration);
    } while (sum < voice.timeOfLastNote);
    return SongReadStatus::ok;
}

SongReadStatus readVoice(binistream &in, binistream &bank, const bank::BankIndex &index, SongData &song,
                         VoiceData &voice)
{
    in.ignore(trackNameSize);
    if (const SongReadStatus status = readNotes(in, voice); status != SongReadStatus::ok)
        return status;
    song.endTick = std::max<int>(song.endTick, voice.timeOfLastNote);

    in.ignore(trackNameSize);
    voice.timbres.resize(readCount(in));
    for (InstrumentChange &change : voice.timbres) {
        change.time = readI16(in);
        const std::string name = readName(in, instrumentNameSize);
        change.instrument = bank::resolveInstrument(song.instruments, bank, index, name);
        in.ignore(3);  // filler byte and reserved word
    }

    in.ignore(trackNameSize);
    voice.volumes = readTimedValues(in);
    in.ignore(trackNameSize);
    voice.pitches = readTimedValues(in);
    return SongReadStatus::ok;
}

} // namespace

const char *describe(SongReadStatus status)
{
    switch (status) {
    case SongReadStatus::ok: return "read";
    case SongReadStatus::songUnavailable: return "the song cannot be opened";
    case SongReadStatus::wrongVersion: return "not a version 0.4 ROL song";
    case SongReadStatus::bankUnavailable: return "the instrument bank cannot be opened";
    case SongReadStatus::truncatedNotes: return "the song ends inside a note track";
    case SongReadStatus::tooLong: return "a voice is longer than 32767 ticks";
    }
    return "unknown failure";
}

SongReadStatus readSong(binistream &in, const std::string &bankPath, const CFileProvider &fp, SongData &out)
{
    makeLittleEndian(in);
    const std::uint16_t major = readU16(in);
    const std::uint16_t minor = readU16(in);
    if (major != majorVersion || minor != minorVersion)
        return SongReadStatus::wrongVersion;

    SongData song;
    in.ignore(header::signatureSize);
    song.ticksPerBeat = readU16(in);
    song.beatsPerMeasure = readI16(in);
    song.editScaleY = readI16(in);
    song.editScaleX = readI16(in);
    in.ignore(1);
    song.mode = readU8(in);
    in.ignore(header::reservedAreaSize);
    song.basicTempo = readF32(in);
    song.tempo = readTimedValues(in);
    song.endTick = 0;

    OpenBank bank(fp, bankPath);
    if (!bank.get())
        return SongReadStatus::bankUnavailable;
    const bank::BankIndex index = bank::readBankIndex(*bank.get());

    song.voices.resize(song.percussive() ? percussiveVoices : melodicVoices);
    for (VoiceData &voice : song.voices)
        if (const SongReadStatus status = readVoice(in, *bank.get(), index, song, voice);
            status != SongReadStatus::ok)
            return status;

    out = std::move(song);
    return SongReadStatus::ok;
}

} // namespace velk::rol
