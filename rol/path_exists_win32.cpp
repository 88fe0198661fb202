#include "rol/path_exists.h"

#include <windows.h>

namespace velk {

bool pathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace velk
