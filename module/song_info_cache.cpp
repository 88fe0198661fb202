#include "module/song_info_cache.h"

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace velk {
namespace {

constexpr std::size_t maxEntries = 4096;

// What tells a changed file apart.
struct FileStamp {
    std::int64_t size;
    std::int64_t modified;
    bool operator==(const FileStamp &other) const { return size == other.size && modified == other.modified; }
};

struct Entry {
    FileStamp stamp;
    std::optional<SongInfo> info;
};

std::optional<FileStamp> stampOf(const char *fileName)
{
    struct stat status;
    if (::stat(fileName, &status) != 0)
        return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(status.st_size), static_cast<std::int64_t>(status.st_mtime)};
}

std::map<std::string, Entry> entries;
std::deque<std::string> ageOrder;  // names in the order they were first kept

} // namespace

std::optional<SongInfo> cachedSongInfo(const char *fileName)
{
    const std::optional<FileStamp> stamp = stampOf(fileName);
    if (!stamp)
        return readSongInfo(fileName);
    const auto found = entries.find(fileName);
    if (found != entries.end() && found->second.stamp == *stamp)
        return found->second.info;

    std::optional<SongInfo> info = readSongInfo(fileName);
    if (found != entries.end()) {
        found->second = Entry{*stamp, info};
        return info;
    }
    if (entries.size() == maxEntries) {
        entries.erase(ageOrder.front());
        ageOrder.pop_front();
    }
    entries.emplace(fileName, Entry{*stamp, info});
    ageOrder.push_back(fileName);
    return info;
}

} // namespace velk
