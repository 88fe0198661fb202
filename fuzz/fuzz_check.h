// What a fuzz target asserts beyond not crashing. Unlike assert() it stays
// in optimised builds, and it names the property that failed, so that a
// finding reads as a statement about the reader rather than a bare abort.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace velk::fuzz {

inline void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "velk fuzz: property failed: %s\n", property);
    std::abort();
}

} // namespace velk::fuzz
