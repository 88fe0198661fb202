#include "rol/path_exists.h"

#include <sys/stat.h>

namespace velk {

bool pathExists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace velk
