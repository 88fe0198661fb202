#include "converter/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace velk::converter {

std::vector<FoundFile> findOrdinaryFiles(const std::string &directory, const std::string &namePattern)
{
    std::vector<FoundFile> found;
    DIR *dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return found;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !matchesPattern(name, namePattern))
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

} // namespace velk::converter
