// The real songs in ../shared/songs. Tests that need them skip with a clear
// message when the folder is absent, and fail instead when CI is set.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace velk::test {

// The folder of the real songs ($VELK_SONGS_DIR, else the build's default).
std::filesystem::path songsDir();
// Path of one real song file, or empty when it is missing.
std::filesystem::path realSong(const std::string &name);
bool runningInCi();

} // namespace velk::test

// Puts the path of a real song file into `var`, or skips (fails in CI).
#define VELK_REQUIRE_REAL_SONG(var, name)                                                       \
    const std::filesystem::path var = ::velk::test::realSong(name);                            \
    if (var.empty()) {                                                                          \
        if (::velk::test::runningInCi())                                                        \
            FAIL() << "real song " << (name) << " missing from " << ::velk::test::songsDir();   \
        GTEST_SKIP() << "real song " << (name) << " not found in " << ::velk::test::songsDir() \
                     << "; skipping";                                                           \
    }
