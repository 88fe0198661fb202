#include "imsplayer/workspace_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

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

void copyFile(const std::string &from, const std::string &to)
{
    std::error_code ec;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && ec)
        ::unlink(to.c_str());
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
