#include "lyrics/lyrics.h"

#include <algorithm>

#include "lyrics/johab_text.h"

namespace velk::lyrics {
namespace {

std::size_t utf8Offset(const DecodedText &text, std::size_t johabOffset)
{
    if (johabOffset >= text.offsets.size())
        return text.utf8.size();
    // The reader keeps only ranges on character boundaries; were one to split
    // a pair anyway, it would start at the character's end.
    while (!text.offsets[johabOffset])
        ++johabOffset;
    return *text.offsets[johabOffset];
}

} // namespace

Lyrics decodeLyrics(const IssFile &file)
{
    Lyrics lyrics;
    for (std::size_t i = 0; i < issCreditCount; ++i)
        lyrics.credits[i] = johabToUtf8(file.credits[i]);
    std::vector<DecodedText> lines;
    lines.reserve(file.lines.size());
    for (const std::string &line : file.lines) {
        lines.push_back(decodeJohab(line));
        lyrics.lines.push_back(lines.back().utf8);
    }
    lyrics.highlights.reserve(file.records.size());
    for (const IssRecord &r : file.records) {
        Highlight h;
        h.songUnits = std::uint64_t{r.time} * issUnitsPerTime;
        h.line = r.line;
        h.first = utf8Offset(lines[r.line], r.first);
        h.end = utf8Offset(lines[r.line], std::size_t{r.first} + r.count);
        lyrics.highlights.push_back(h);
    }
    std::stable_sort(lyrics.highlights.begin(), lyrics.highlights.end(),
                     [](const Highlight &a, const Highlight &b) { return a.songUnits < b.songUnits; });
    return lyrics;
}

LyricsReading readLyrics(const std::uint8_t *data, std::size_t size)
{
    IssReading file = readIssFile(data, size);
    LyricsReading reading;
    if (file.file)
        reading.lyrics = decodeLyrics(*file.file);
    else
        reading.problem = std::move(file.problem);
    return reading;
}

std::string wholeText(const Lyrics &lyrics)
{
    std::string text;
    for (std::size_t i = 0; i < lyrics.lines.size(); ++i) {
        if (i != 0)
            text += '\n';
        const std::string &line = lyrics.lines[i];
        const std::size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos)
            text.append(line, first, line.find_last_not_of(' ') + 1 - first);
    }
    return text;
}

} // namespace velk::lyrics
