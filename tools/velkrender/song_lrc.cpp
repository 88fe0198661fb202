#include "tools/velkrender/song_lrc.h"

#include "lyrics/lrc.h"

#include <cmath>

namespace velk::render {

std::optional<lyrics::Lyrics> lyricsOf(const velk_song *song)
{
    if (velk_lyrics_line_count(song) == 0)
        return std::nullopt;
    lyrics::Lyrics l;
    for (int i = 0; i < velk_lyrics_credit_count(song) && i < static_cast<int>(l.credits.size()); ++i)
        l.credits[static_cast<std::size_t>(i)] = velk_lyrics_credit(song, i);
    for (int i = 0; i < velk_lyrics_line_count(song); ++i)
        l.lines.push_back(velk_lyrics_line(song, i));
    for (std::size_t i = 0; i < velk_lyrics_highlight_count(song); ++i) {
        velk_highlight h;
        if (velk_lyrics_highlight(song, i, &h) != VELK_OK)
            continue;
        lyrics::Highlight out;
        out.ms = h.time_ms;
        out.line = h.line;
        out.first = h.first;
        out.end = h.end;
        l.highlights.push_back(out);
    }
    return l;
}

std::optional<std::string> lrcOf(const velk_song *song, double tempo)
{
    std::optional<lyrics::Lyrics> l = lyricsOf(song);
    if (!l)
        return std::nullopt;
    for (lyrics::Highlight &h : l->highlights)
        h.ms = static_cast<decltype(h.ms)>(std::llround(static_cast<double>(h.ms) / tempo));
    return lyrics::writeLrc(*l, velk_title(song), std::string("Velk ") + velk_version_string());
}

std::string lrcPathFor(const std::string &audioPath)
{
    const std::size_t separator = audioPath.find_last_of('/');
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = audioPath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        return audioPath + ".lrc";
    return audioPath.substr(0, dot) + ".lrc";
}

} // namespace velk::render
