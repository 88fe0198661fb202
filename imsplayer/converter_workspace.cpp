#include "imsplayer/converter_workspace.h"

#include <cstdio>

namespace velk {

std::string workspacePath;
HostInstance moduleInstance = nullptr;

void initWorkspace(HostInstance instance)
{
    moduleInstance = instance;
    workspacePath = initialWorkspacePath();
}

bool writeWholeFile(const std::string &path, const void *data, std::size_t size)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    // The buffered tail reaches the file only at close, so its result counts.
    const bool closed = std::fclose(file) == 0;
    if (written && closed)
        return true;
    std::remove(path.c_str());
    return false;
}

} // namespace velk
