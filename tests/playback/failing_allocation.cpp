#include "tests/playback/failing_allocation.h"

#include <atomic>
#include <new>

namespace velk::test {

namespace {
std::atomic<std::size_t> failingSize{0};
std::atomic<bool> failed{false};
} // namespace

void failNextNothrowArrayAllocation(std::size_t bytes)
{
    failed = false;
    failingSize = bytes;
}

bool nothrowArrayAllocationFailed()
{
    return failed;
}

} // namespace velk::test

void *operator new[](std::size_t bytes, const std::nothrow_t &) noexcept
{
    using namespace velk::test;
    std::size_t armed = bytes;
    if (bytes != 0 && failingSize.compare_exchange_strong(armed, 0)) {
        failed = true;
        return nullptr;
    }
    // The ordinary allocation, so that delete[] (and a sanitizer) sees its own.
    try {
        return ::operator new[](bytes);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
