// Which songs a velkrender run renders and where each one's output goes.
#pragma once

#include <string>
#include <vector>

namespace velk::render {

// One song argument as a run takes it up.
struct SongArgument {
    std::string given;               // as on the command line
    std::vector<std::string> songs;  // the files it names; none when a pattern matched nothing
};

// The songs named by the arguments. An argument that names no file and holds
// * or ? in its file name is a pattern matched as DOS did, in any case and in
// order of names, so '*.ims' also finds SONG.IMS, which a shell's own
// pattern misses; it may match nothing. Anything else names one song.
std::vector<SongArgument> expandSongArguments(const std::vector<std::string> &arguments);

// SONG with its extension (if any) replaced by `extension`, in `outDir` when
// that is not empty, else beside the song.
std::string outputPath(const std::string &song, const char *extension, const std::string &outDir);

// Removes an output whose writing failed, so that no cut file passes for a
// song's; only a regular file (an output such as /dev/null stays).
void removeFailedOutput(const std::string &path);

} // namespace velk::render
