// Counts what a process holds, to show that playback leaves nothing behind:
// threads, and open handles (Windows) or file descriptors (elsewhere).
#pragma once

namespace velk::test {

struct ProcessCensus {
    int threads = 0;
    int handles = 0;
};

ProcessCensus takeProcessCensus();

} // namespace velk::test
