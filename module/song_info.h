// What the host's playlist shows for an IMS song that is not the one
// playing: its title and the length GetLength will report once it plays.
#pragma once

#include <optional>
#include <string>

namespace velk {

struct SongInfo {
    std::string title;  // EUC-KR, at most 30 bytes
    int lengthMs = 0;
};

// Reads the song at `fileName` and works its information out in process:
// the same conversion, tick model and 600,000 ms bound as Play, without the
// workspace, the command interpreter, an instrument bank or the playing
// song. Nothing when the file is no IMS song (isImsSongFile), cannot be read
// or cannot be converted into a song the engine reads.
std::optional<SongInfo> readSongInfo(const char *fileName);

} // namespace velk
