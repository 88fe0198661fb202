#include "imsplayer/converter_workspace.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "imsplayer/converter_image.h"

namespace velk {

std::string systemTemporaryPath()
{
    const char *dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp/";
    if (path.back() != '/')
        path += '/';
    return path;
}

int extractResource(int id, const std::string &path)
{
    // The module carries one resource, the converter image.
    if (id != converterResourceId || converterImageSize == 0)
        return 0;
    if (!writeWholeFile(path, converterImage, converterImageSize))
        return 0;
    if (::chmod(path.c_str(), 0755) != 0) {
        std::remove(path.c_str());
        return 0;
    }
    return 1;
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
