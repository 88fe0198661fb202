#include "imsplayer/fresh_file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velk {

int createFreshFile(const std::string &path, mode_t mode)
{
    ::unlink(path.c_str());
    // O_EXCL fails on any name still there, a dangling link included.
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool writeAll(int fd, const void *data, std::size_t size)
{
    const char *next = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace velk
