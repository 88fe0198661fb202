#include "tools/velkplay/song_lyrics.h"

#include <memory>

#include "libvelk/velk.h"
#include "tools/velkrender/song_lrc.h"

namespace velk::play {

std::optional<lyrics::Lyrics> songLyrics(const std::string &song, std::string &problem)
{
    problem.clear();
    velk_song *opened = nullptr;
    velk_open_file(song.c_str(), nullptr, &opened);
    const std::unique_ptr<velk_song, void (*)(velk_song *)> handle(opened, velk_close);
    // A song the library cannot open (no bank, say) shows no lyrics; whatever
    // plays it says why it cannot play.
    if (!handle || velk_last_error(handle.get()) != VELK_OK)
        return std::nullopt;
    if (const char *why = velk_lyrics_problem(handle.get()))
        problem = why;
    return render::lyricsOf(handle.get());
}

} // namespace velk::play
