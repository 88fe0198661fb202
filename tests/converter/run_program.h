// Runs a program through the system's command interpreter in a folder, with
// its standard input fed from text, and returns what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velk::test {

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output, bytes as written
};

ProgramRun runProgram(const std::string &program, const std::vector<std::string> &args,
                      const std::filesystem::path &folder, const std::string &input = "");

// The built ruz2avu (a Windows path under Wine).
std::string ruz2avuPath();

// `text` with the line ends a console program of this platform writes.
std::string consoleText(const std::string &text);

} // namespace velk::test
