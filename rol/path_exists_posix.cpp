#include "rol/path_exists.h"

#include <sys/stat.h>

#include "common/file_search.h"

namespace velk {

bool pathExists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> existingPathInAnyCase(const std::string &path)
{
    if (pathExists(path))
        return path;
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (nameStart == path.size())
        return std::nullopt;
    std::optional<FoundFile> found = findFileIgnoringCase(path.substr(0, nameStart), path.substr(nameStart));
    if (!found)
        return std::nullopt;
    return std::move(found->path);
}

} // namespace velk
