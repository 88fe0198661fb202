#include "tools/velkplay/karaoke_lines.h"

#include "lyrics/karaoke.h"

namespace velk::play {
namespace {

constexpr char litOn[] = "\x1b[7m";
constexpr char litOff[] = "\x1b[27m";

// The character at `at` (advanced past it) and its columns.
int nextCharacter(const std::string &text, std::size_t &at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length && at + i < text.size(); ++i)
        c = c << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    at += length;
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
    return wide ? 2 : 1;
}

// The line from its first non-blank character, cut to `width` columns, with
// the lit ranges (offsets in the whole line) set off.
std::string shown(const std::string &line, const lyrics::KaraokeView *view, int width)
{
    std::size_t at = line.find_first_not_of(' ');
    std::size_t end = line.find_last_not_of(' ');
    if (at == std::string::npos)
        return "";
    ++end;
    std::string out;
    int columns = 0;
    bool lit = false;
    while (at < end) {
        bool litHere = false;
        if (view)
            for (const auto &[first, last] : view->lit)
                litHere = litHere || (at >= first && at < last);
        const std::size_t start = at;
        const int w = nextCharacter(line, at);
        if (columns + w > width)
            break;
        if (litHere != lit)
            out += litHere ? litOn : litOff;
        lit = litHere;
        out.append(line, start, at - start);
        columns += w;
    }
    if (lit)
        out += litOff;
    return out;
}

} // namespace

int displayWidth(const std::string &utf8)
{
    int columns = 0;
    for (std::size_t at = 0; at < utf8.size();)
        columns += nextCharacter(utf8, at);
    return columns;
}

KaraokeLines karaokeLines(const lyrics::Lyrics &lyrics, std::int64_t ms, int width)
{
    const lyrics::KaraokeView view = lyrics::karaokeAt(lyrics.highlights, ms);
    KaraokeLines lines;
    const auto lineText = [&](int index) -> const std::string * {
        return index >= 0 && static_cast<std::size_t>(index) < lyrics.lines.size()
                   ? &lyrics.lines[static_cast<std::size_t>(index)]
                   : nullptr;
    };
    if (const std::string *sung = lineText(view.line))
        lines.sung = shown(*sung, &view, width);
    if (const std::string *next = lineText(view.nextLine))
        lines.next = shown(*next, nullptr, width);
    return lines;
}

} // namespace velk::play
