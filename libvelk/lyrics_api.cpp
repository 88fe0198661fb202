// The lyric functions of velk.h. Reading never fails a song: a lyric file
// that is no lyric file only leaves the song without lyrics.
#include <new>

#include "libvelk/handle_errors.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_lyrics.h"
#include "libvelk/velk.h"

using velk::lib::setError;

namespace {

const velk::lyrics::Lyrics *lyricsOf(const velk_song *song)
{
    return song && song->open && song->lyrics ? &*song->lyrics : nullptr;
}

} // namespace

extern "C" {

VELK_API velk_error velk_set_lyrics(velk_song *song, const void *data, size_t size)
{
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    if (!song->open)
        return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "the song did not open");
    try {
        if (!data || size == 0) {
            song->lyrics.reset();
            song->lyricsProblem.clear();
            song->lyricsText.clear();
            return VELK_OK;
        }
        if (!velk::lib::takeLyrics(*song, static_cast<const std::uint8_t *>(data), size))
            return setError(*song, VELK_ERROR_FORMAT, song->lyricsProblem);
        return VELK_OK;
    } catch (const std::bad_alloc &) {
        song->lyrics.reset();
        song->lyricsText.clear();
        return setError(*song, VELK_ERROR_OUT_OF_MEMORY, "out of memory");
    }
}

VELK_API const char *velk_lyrics_problem(const velk_song *song)
{
    return song && song->open && !song->lyricsProblem.empty() ? song->lyricsProblem.c_str() : nullptr;
}

VELK_API int velk_lyrics_credit_count(const velk_song *song)
{
    const auto *lyrics = lyricsOf(song);
    return lyrics ? static_cast<int>(lyrics->credits.size()) : 0;
}

VELK_API const char *velk_lyrics_credit(const velk_song *song, int index)
{
    const auto *lyrics = lyricsOf(song);
    if (!lyrics || index < 0 || static_cast<size_t>(index) >= lyrics->credits.size())
        return nullptr;
    return lyrics->credits[static_cast<size_t>(index)].c_str();
}

VELK_API int velk_lyrics_line_count(const velk_song *song)
{
    const auto *lyrics = lyricsOf(song);
    return lyrics ? static_cast<int>(lyrics->lines.size()) : 0;
}

VELK_API const char *velk_lyrics_line(const velk_song *song, int index)
{
    const auto *lyrics = lyricsOf(song);
    if (!lyrics || index < 0 || static_cast<size_t>(index) >= lyrics->lines.size())
        return nullptr;
    return lyrics->lines[static_cast<size_t>(index)].c_str();
}

VELK_API size_t velk_lyrics_highlight_count(const velk_song *song)
{
    const auto *lyrics = lyricsOf(song);
    return lyrics ? lyrics->highlights.size() : 0;
}

VELK_API velk_error velk_lyrics_highlight(const velk_song *song, size_t index, velk_highlight *out)
{
    const auto *lyrics = lyricsOf(song);
    if (!out || !lyrics || index >= lyrics->highlights.size())
        return VELK_ERROR_INVALID_ARGUMENT;
    const velk::lyrics::Highlight &h = lyrics->highlights[index];
    *out = velk_highlight{h.ms, h.line, h.first, h.end};
    return VELK_OK;
}

VELK_API const char *velk_lyrics_text(const velk_song *song)
{
    if (!song)
        return nullptr;
    return song->open ? song->lyricsText.c_str() : "";
}

} // extern "C"
