#include "imsplayer/workspace_files.h"

#include <windows.h>

namespace velk {

bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void makeFileDeletable(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

void deleteFile(const std::string &path)
{
    DeleteFileA(path.c_str());
}

bool copyFile(const std::string &from, const std::string &to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string currentDirectory()
{
    // Sized from the system's answer: a current directory longer than
    // MAX_PATH must still be restored exactly.
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

bool setCurrentDirectory(const std::string &path)
{
    return SetCurrentDirectoryA(path.c_str()) != 0;
}

} // namespace velk
