// The bundled demo song and its bank, made from their text sources.
#pragma once

#include <filesystem>

namespace velk::test {

// Writes demo.ims and demo.bnk into `dir`; false when the sources cannot be
// read or made.
bool writeDemoSong(const std::filesystem::path &dir);

} // namespace velk::test
