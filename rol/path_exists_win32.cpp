#include "rol/path_exists.h"

#include <windows.h>

namespace velk {

bool pathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file system finds names in any case itself.
std::optional<std::string> existingPathInAnyCase(const std::string &path)
{
    if (pathExists(path))
        return path;
    return std::nullopt;
}

} // namespace velk
