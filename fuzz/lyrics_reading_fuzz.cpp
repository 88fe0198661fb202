// Lyric files of any bytes: a refusal with its reason, or lyrics whose
// highlights lie inside their lines on character boundaries, in time order
// that the song's clock keeps; the karaoke view and the LRC writer bear them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "lyrics/karaoke.h"
#include "lyrics/lrc.h"
#include "lyrics/lyrics.h"
#include "lyrics/song_clock.h"

using velk::fuzz::require;
namespace lyrics = velk::lyrics;

namespace {

bool startsCharacter(const std::string &text, std::size_t at)
{
    return at == text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
}

// A song whose delays are not whole ticks and whose tempo changes: units
// and ticks drift apart, and ticks differ in length.
lyrics::SongClock oddClock()
{
    lyrics::SongClock clock;
    clock.unitsPerTick = 20;
    std::uint64_t units = 0, tick = 0;
    for (int i = 0; i < 4000; ++i) {
        clock.events.push_back({units, tick});
        units += 30 + i % 7;
        tick += (30 + i % 7) / 20;
    }
    double ms = 0;
    for (std::uint64_t t = 0; t <= tick; ++t) {
        clock.tickMs.push_back(ms);
        ms += t % 500 < 250 ? 41.6 : 20.8;
    }
    clock.msPerTickAfter = 20.8;
    return clock;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const lyrics::SongClock clock = oddClock();
    lyrics::LyricsReading reading = lyrics::readLyrics(data, size);
    if (!reading.lyrics) {
        require(!reading.problem.empty(), "a refusal says why");
        return 0;
    }
    require(reading.problem.empty(), "lyrics read carry no problem");
    lyrics::Lyrics &l = *reading.lyrics;
    require(l.highlights.size() == (size >= 152 ? static_cast<std::size_t>(data[150] | data[151] << 8) : 0),
            "every record is kept");

    std::int64_t lastMs = 0;
    std::uint64_t lastUnits = 0;
    for (lyrics::Highlight &h : l.highlights) {
        require(h.line >= 0 && static_cast<std::size_t>(h.line) < l.lines.size(), "a highlight names a line");
        const std::string &line = l.lines[static_cast<std::size_t>(h.line)];
        require(h.first <= h.end && h.end <= line.size(), "a highlight lies inside its line");
        require(startsCharacter(line, h.first) && startsCharacter(line, h.end),
                "a highlight starts and ends on character boundaries");
        require(h.songUnits >= lastUnits, "highlights are in time order");
        h.ms = lyrics::msAtUnits(clock, h.songUnits);
        require(h.ms >= lastMs, "the clock keeps highlights in time order");
        lastUnits = h.songUnits;
        lastMs = h.ms;
    }

    for (std::int64_t ms : {std::int64_t{0}, lastMs / 2, lastMs}) {
        const lyrics::KaraokeView view = lyrics::karaokeAt(l.highlights, ms);
        for (const auto &[first, end] : view.lit)
            require(view.line >= 0 && first < end && end <= l.lines[static_cast<std::size_t>(view.line)].size(),
                    "lit parts lie inside the line being sung");
    }
    const std::string lrc = lyrics::writeLrc(l, "title", "velk");
    std::size_t lines = 0;
    for (char c : lrc)
        lines += c == '\n';
    require(lines <= l.highlights.size() + 3, "an LRC line per run of highlights, beside the tags");
    return 0;
}
