#include "common/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace velk {
namespace {

// The ordinary files of `directory` whose names `accept` takes, by name.
template <typename Accept>
std::vector<FoundFile> ordinaryFiles(const std::string &directory, Accept accept)
{
    std::vector<FoundFile> found;
    DIR *dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return found;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !accept(name))
            continue;
        const std::string path = directory + name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            found.push_back({path, name});
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const FoundFile &a, const FoundFile &b) { return a.name < b.name; });
    return found;
}

} // namespace

std::vector<FoundFile> findOrdinaryFiles(const std::string &directory, const std::string &namePattern)
{
    return ordinaryFiles(directory, [&](const std::string &name) { return matchesPattern(name, namePattern); });
}

std::optional<FoundFile> findFileIgnoringCase(const std::string &directory, const std::string &name)
{
    std::vector<FoundFile> found =
        ordinaryFiles(directory, [&](const std::string &candidate) { return equalIgnoringCase(candidate, name); });
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

} // namespace velk
