#include "imsplayer/workspace_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "imsplayer/fresh_file_posix.h"

namespace velk {

namespace fs = std::filesystem;

bool fileExists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

void makeFileDeletable(const std::string &path)
{
    // The nearest thing to Windows' archive-only attributes: owner may write.
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR);
}

void deleteFile(const std::string &path)
{
    ::unlink(path.c_str());
}

bool copyFile(const std::string &from, const std::string &to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info;
    int out = -1;
    if (::fstat(in, &info) == 0 && S_ISREG(info.st_mode))
        out = createFreshFile(to, 0600);
    bool copied = out >= 0;
    char block[65536];
    while (copied) {
        const ssize_t got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = writeAll(out, block, static_cast<std::size_t>(got));
    }
    ::close(in);
    if (out < 0)
        return false;
    if (::close(out) == 0 && copied)
        return true;
    ::unlink(to.c_str());
    return false;
}

std::string currentDirectory()
{
    std::error_code ec;
    auto path = fs::current_path(ec);
    return ec ? std::string{} : path.string();
}

bool setCurrentDirectory(const std::string &path)
{
    return ::chdir(path.c_str()) == 0;
}

} // namespace velk
