#include "module/ims_file_test.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "converter/ims_song.h"

namespace velk {

namespace {

bool hasImsExtension(const char *fileName)
{
    const char *dot = std::strrchr(fileName, '.');
    if (!dot)
        return false;
    static const char extension[] = ".ims";
    for (std::size_t i = 0; i < sizeof extension; ++i) {  // the NUL too: nothing may follow
        const auto c = static_cast<unsigned char>(dot[i]);
        if (std::tolower(c) != extension[i])
            return false;
    }
    return true;
}

} // namespace

bool isImsSongFile(const char *fileName)
{
    if (!fileName || !hasImsExtension(fileName))
        return false;
    std::FILE *file = std::fopen(fileName, "rb");
    if (!file)
        return false;
    std::uint8_t head[6];
    const bool complete = std::fread(head, 1, sizeof head, file) == sizeof head;
    std::fclose(file);
    return complete && ims::hasImsHead(head);
}

} // namespace velk
