#include "converter/ims_song.h"

#include <algorithm>

#include "common/bytes.h"

namespace velk::ims {

std::optional<Header> readHeader(const std::uint8_t *data, std::size_t size)
{
    if (size < headerSize)
        return std::nullopt;
    Header h;
    std::copy_n(data + titleOffset, titleSize, h.title.begin());
    h.beatsPerMeasure = data[beatsPerMeasureOffset];
    h.musicSize = getU32(data + musicSizeOffset);
    h.rhythmMode = data[rhythmModeOffset];
    h.basicTempo = getI16(data + basicTempoOffset);
    return h;
}

void lowerCaseName(InstrumentName &name)
{
    for (std::uint8_t &c : name) {
        if (c == 0)
            break;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<std::uint8_t>(c - 'A' + 'a');
    }
}

std::optional<Song> readSong(const std::uint8_t *data, std::size_t size)
{
    std::optional<Header> header = readHeader(data, size);
    if (!header)
        return std::nullopt;
    // Sizes compared by subtraction so that a huge announced size cannot wrap.
    std::size_t rest = size - headerSize;
    if (header->musicSize > rest)
        return std::nullopt;
    rest -= header->musicSize;
    const std::size_t countSize = 2;
    if (rest < gapAfterMusic + countSize)
        return std::nullopt;
    rest -= gapAfterMusic + countSize;
    const std::uint8_t *names = data + headerSize + header->musicSize + gapAfterMusic;
    const std::size_t count = getU16(names);
    names += countSize;
    if (count > rest / instrumentNameSize)
        return std::nullopt;

    Song song;
    song.header = *header;
    song.music.assign(data + headerSize, data + headerSize + header->musicSize);
    song.instruments.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::copy_n(names + i * instrumentNameSize, instrumentNameSize, song.instruments[i].begin());
        lowerCaseName(song.instruments[i]);
    }
    return song;
}

EventReader::Step EventReader::next(Event &event)
{
    if (finished_ || pos_ >= size_)
        return finished_ = true, Step::end;

    const std::size_t start = pos_;
    std::uint8_t status = data_[pos_];
    if (status == endOfSong)
        return finished_ = true, Step::end;
    if (status < 0x80)
        status = previousStatus_;  // running status: this byte is data (or the delay)
    else
        ++pos_;

    event = Event{};
    event.status = status;
    event.kind = static_cast<EventKind>(status >> 4);
    event.voice = status & 0x0F;
    if (event.voice >= voiceCount)
        return finished_ = true, Step::badVoice;

    const std::size_t count = dataSize(event.kind);
    if (size_ - pos_ < count)
        return pos_ = start, finished_ = true, Step::end;
    std::copy_n(data_ + pos_, count, event.data.begin());
    pos_ += count;
    previousStatus_ = status;

    for (;;) {
        if (pos_ >= size_)
            return pos_ = start, finished_ = true, Step::end;
        std::uint8_t byte = data_[pos_++];
        if (byte != wholeBeatDelay) {
            event.finalDelay = byte;
            return Step::event;
        }
        ++event.wholeBeats;
    }
}

} // namespace velk::ims
