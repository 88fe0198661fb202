// A file's bytes, read whole.
#pragma once

#include <cstdio>
#include <string>

#include "common/bytes.h"

namespace velk {

// Replaces `bytes` with the file's contents; false when the file cannot be
// opened or a read fails part way.
inline bool readWholeFile(const std::string &path, Bytes &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes.clear();
    std::uint8_t block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    const bool complete = !std::ferror(file);
    std::fclose(file);
    return complete;
}

} // namespace velk
