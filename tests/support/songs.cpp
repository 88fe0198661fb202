#include "tests/support/songs.h"

#include <cstdlib>

namespace velk::test {

std::filesystem::path songsDir()
{
    if (const char *dir = std::getenv("VELK_SONGS_DIR"); dir && *dir)
        return dir;
    return VELK_SONGS_DIR;
}

std::filesystem::path realSong(const std::string &name)
{
    auto path = songsDir() / name;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) ? path : std::filesystem::path{};
}

bool runningInCi()
{
    const char *ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

} // namespace velk::test
