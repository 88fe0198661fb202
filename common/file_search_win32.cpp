#include "common/file_search.h"

#include <windows.h>

namespace velk {

std::vector<FoundFile> findOrdinaryFiles(const std::string &directory, const std::string &namePattern)
{
    std::vector<FoundFile> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((directory + namePattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    const DWORD notOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if (!(data.dwFileAttributes & notOrdinary))
            found.push_back({directory + data.cFileName, data.cFileName});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return found;
}

// The file system ignores case already; names cannot hold wildcards.
std::optional<FoundFile> findFileIgnoringCase(const std::string &directory, const std::string &name)
{
    std::vector<FoundFile> found = findOrdinaryFiles(directory, name);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

} // namespace velk
