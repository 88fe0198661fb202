#include "tests/e2e/process_census.h"

#include <filesystem>

namespace velk::test {

namespace {
int entries(const char *folder)
{
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error); !error && it != std::filesystem::directory_iterator();
         it.increment(error))
        ++count;
    return count;
}
} // namespace

ProcessCensus takeProcessCensus() { return {entries("/proc/self/task"), entries("/proc/self/fd")}; }

} // namespace velk::test
