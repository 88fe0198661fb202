#include "libvelk/song_lyrics.h"

#include <fstream>
#include <iterator>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "libvelk/song_handle.h"
#include "lyrics/song_clock.h"
#include "playback/song_length.h"
#include "rol/path_exists.h"
#include "rol/rol_player.h"

namespace velk::lib {
namespace {

// The largest lyric file there can be: 65,535 records and 65,535 lines.
constexpr std::uintmax_t largestLyricFile = lyrics::issRecordsOffset + 65535u * (lyrics::issRecordSize + lyrics::issLineSize);

// The song's path with its extension (after the last '.' of the file name)
// replaced by "iss", or ".iss" added when it has none.
std::string lyricFilePath(const std::string &songPath)
{
    const std::size_t separator = songPath.find_last_of("/\\");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = songPath.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return songPath + ".iss";
    return songPath.substr(0, dot) + ".iss";
}

// Every event's start of the IMS song in delay units and in the ticks the
// conversion gives it, and the song time of each tick as the player sums it.
lyrics::SongClock clockOf(const velk_song &song)
{
    lyrics::SongClock clock;
    const converter::ConversionResult converted = converter::convertImsToRol(song.imsBytes);
    const std::optional<ims::Song> ims = ims::readSong(song.imsBytes.data(), song.imsBytes.size());
    if (converted.converted() && ims) {
        clock.unitsPerTick = converted.timeUnit;
        std::uint64_t units = 0, tick = 0;
        ims::EventReader reader(ims->music);
        ims::Event e;
        while (reader.next(e) == ims::EventReader::Step::event) {
            clock.events.push_back({units, tick});
            units += e.delayUnits();
            tick += converter::delayTicks(e, converted.timeUnit);
        }
        clock.events.push_back({units, tick});
    }
    // A copy of the player steps through the song on a silent chip, so that
    // the song's own player stays where it is.
    RolPlayer player(*song.player);
    const std::vector<float> times = measureTickTimes(player, 0);
    clock.tickMs.assign(times.begin(), times.end());
    clock.msPerTickAfter = 1000.0 / static_cast<double>(player.getrefresh());
    if (clock.tickMs.size() >= 2)
        clock.msPerTickAfter = clock.tickMs.back() - clock.tickMs[clock.tickMs.size() - 2];
    return clock;
}

void keepProblem(velk_song &song, std::string problem)
{
    song.lyrics.reset();
    song.lyricsText.clear();
    song.lyricsProblem = std::move(problem);
}

} // namespace

bool takeLyrics(velk_song &song, const std::uint8_t *data, std::size_t size)
{
    if (!song.ims) {
        keepProblem(song, "lyric files go with IMS songs only");
        return false;
    }
    lyrics::LyricsReading reading = lyrics::readLyrics(data, size);
    if (!reading.lyrics) {
        keepProblem(song, "not a lyric file: " + reading.problem);
        return false;
    }
    const lyrics::SongClock clock = clockOf(song);
    for (lyrics::Highlight &h : reading.lyrics->highlights)
        h.ms = lyrics::msAtUnits(clock, h.songUnits);
    song.lyricsText = lyrics::wholeText(*reading.lyrics);
    song.lyrics = std::move(reading.lyrics);
    song.lyricsProblem.clear();
    return true;
}

void findLyricsBeside(velk_song &song)
{
    keepProblem(song, "");
    if (!song.ims || song.location.empty())
        return;
    const std::optional<std::string> path = existingPathInAnyCase(lyricFilePath(song.location));
    if (!path)
        return;
    std::ifstream in(*path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) {
        keepProblem(song, *path + ": cannot be read");
        return;
    }
    if (static_cast<std::uintmax_t>(size) > largestLyricFile) {
        keepProblem(song, *path + ": not a lyric file: it is larger than any lyric file can be");
        return;
    }
    in.seekg(0);
    Bytes bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char *>(bytes.data()), size)) {
        keepProblem(song, *path + ": cannot be read");
        return;
    }
    if (!takeLyrics(song, bytes.data(), bytes.size()))
        song.lyricsProblem = *path + ": " + song.lyricsProblem;
}

} // namespace velk::lib
