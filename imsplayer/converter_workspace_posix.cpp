#include "imsplayer/converter_workspace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "imsplayer/converter_image.h"
#include "imsplayer/fresh_file_posix.h"

namespace velk {
namespace {

std::string withSeparator(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string withoutSeparator(const std::string &path)
{
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

// Where the private folder may go, in order of preference: the user's own
// runtime folder, where the session has one, then the temporary directory.
std::vector<std::string> workspaceBases()
{
    std::vector<std::string> bases;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        bases.push_back(withSeparator(runtime));
    bases.push_back(systemTemporaryPath());
    return bases;
}

std::string privateFolderName() { return privateFolderPrefix + std::to_string(::geteuid()); }

// A real directory (lstat: a link to one does not count), the user's, that
// no one else may enter, list or change.
bool isPrivateFolder(const std::string &path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The private folder in `base`, made when missing. When the name is taken
// by anything that fails the test (another user's folder, a link, a folder
// open to others), a fresh folder beside it, which mkdtemp makes 0700 and
// under a name nobody could have taken. Empty when neither can be had.
std::string privateFolderIn(const std::string &base)
{
    const std::string named = base + privateFolderName();
    if ((::mkdir(named.c_str(), 0700) == 0 || errno == EEXIST) && isPrivateFolder(named))
        return named + '/';
    std::string fresh = named + "-XXXXXX";
    if (::mkdtemp(fresh.data()) && isPrivateFolder(fresh))
        return fresh + '/';
    return {};
}

} // namespace

std::string systemTemporaryPath()
{
    const char *dir = std::getenv("TMPDIR");
    return withSeparator(dir && *dir ? dir : "/tmp/");
}

std::string initialWorkspacePath() { return workspaceBases().front() + privateFolderName() + '/'; }

bool prepareWorkspace()
{
    if (workspacePath.empty())
        return false;
    if (isPrivateFolder(withoutSeparator(workspacePath)))
        return true;
    // Missing (never made, or removed since by a Quit or a cleaner), or
    // taken over: made afresh wherever a private folder can be had.
    for (const std::string &base : workspaceBases()) {
        std::string folder = privateFolderIn(base);
        if (!folder.empty()) {
            workspacePath = std::move(folder);
            return true;
        }
    }
    return false;
}

bool converterIsTrusted(const std::string &path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void quitWorkspace()
{
    const std::string folder = withoutSeparator(workspacePath);
    if (workspacePath.empty() || !isPrivateFolder(folder))
        return;
    for (const char *name : {converterFileName, stagedSongFileName, rolSongFileName})
        ::unlink((workspacePath + name).c_str());
    ::rmdir(folder.c_str());  // only when empty: nothing but the module's own goes
}

int extractResource(int id, const std::string &path)
{
    // The module carries one resource, the converter image.
    if (id != converterResourceId || converterImageSize == 0)
        return 0;
    const int fd = createFreshFile(path, 0700);
    if (fd < 0)
        return 0;
    const bool written = writeAll(fd, converterImage, converterImageSize);
    if (::close(fd) == 0 && written)
        return 1;
    ::unlink(path.c_str());
    return 0;
}

namespace {

// One word for /bin/sh, taken literally: inside single quotes nothing is
// special but the quote itself.
std::string shellWord(const std::string &text)
{
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

} // namespace

std::string converterCommandLine(const std::string &workspace)
{
    // "$$" would be the shell's process id.
    return shellWord(workspace + converterFileName) + " " + shellWord(stagedSongFileName);
}

} // namespace velk
