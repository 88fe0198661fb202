// The length the Winamp plug-in gives a song (its file information, the same
// number as its GetLength), for the C test program.
#include "module/song_info.h"

extern "C" long long pluginLengthMs(const char *path)
{
    const std::optional<velk::SongInfo> info = velk::readSongInfo(path);
    return info ? info->lengthMs : -1;
}
