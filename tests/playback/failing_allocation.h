// Makes the next non-throwing array allocation of a given size fail, as
// when memory has run out. The test program replaces that form of operator
// new[] to do it.
#pragma once

#include <cstddef>

namespace velk::test {

void failNextNothrowArrayAllocation(std::size_t bytes);
// Whether the armed failure has happened.
bool nothrowArrayAllocationFailed();

} // namespace velk::test
