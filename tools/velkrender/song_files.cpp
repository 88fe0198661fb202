#include "tools/velkrender/song_files.h"

#include "common/file_search.h"
#include "rol/path_exists.h"

#include <filesystem>

namespace velk::render {
namespace {

// Position just after the last folder separator, 0 when there is none.
std::size_t fileNameStart(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

} // namespace

std::vector<SongArgument> expandSongArguments(const std::vector<std::string> &arguments)
{
    std::vector<SongArgument> expanded;
    for (const std::string &argument : arguments) {
        SongArgument entry{argument, {}};
        const std::size_t nameStart = fileNameStart(argument);
        const bool pattern = argument.find_first_of("*?", nameStart) != std::string::npos;
        if (pattern && !pathExists(argument)) {
            for (const FoundFile &found : findOrdinaryFiles(argument.substr(0, nameStart), argument.substr(nameStart)))
                entry.songs.push_back(found.path);
        } else {
            entry.songs.push_back(argument);
        }
        expanded.push_back(std::move(entry));
    }
    return expanded;
}

std::string outputPath(const std::string &song, const char *extension, const std::string &outDir)
{
    const std::size_t nameStart = fileNameStart(song);
    const std::size_t dot = song.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    const std::string beside = (hasExtension ? song.substr(0, dot) : song) + extension;
    if (outDir.empty())
        return beside;
    const bool separated = outDir.back() == '/';
    return outDir + (separated ? "" : "/") + beside.substr(nameStart);
}

void removeFailedOutput(const std::string &path)
{
    std::error_code unknown;
    if (std::filesystem::is_regular_file(path, unknown))
        std::filesystem::remove(path, unknown);
}

} // namespace velk::render
