// Paths of the helper programs built beside the test program, and small file
// helpers shared by the tests of this folder.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velk::test {

inline std::string programBeside(const std::string &name)
{
#ifdef _WIN32
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.find_last_of("\\/") + 1) + name + ".exe";
#else
    char self[4096];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, path.find_last_of('/') + 1) + name;
#endif
}

// Where the arguments start among the lines record_args writes for one run:
// after "run" and, on Windows, the raw command line.
#ifdef _WIN32
constexpr std::size_t recordedArgumentsStart = 2;
#else
constexpr std::size_t recordedArgumentsStart = 1;
#endif

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The lines of a file, without their line ends.
inline std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace velk::test
