#include "tests/converter/run_program.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "tests/support/files.h"

namespace velk::test {
namespace {

std::string quoted(const std::string &text)
{
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    // Single quotes keep "$$" from the shell.
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

} // namespace

ProgramRun runProgram(const std::string &program, const std::vector<std::string> &args,
                      const std::filesystem::path &folder, const std::string &input)
{
    // The redirections live beside the folder so that the program's own
    // wildcard searches never see them.
    const std::filesystem::path inFile = folder.string() + ".stdin";
    const std::filesystem::path outFile = folder.string() + ".stdout";
    std::ofstream(inFile, std::ios::binary) << input;

    std::string command;
#ifdef _WIN32
    command = "cd /d " + quoted(folder.string()) + " && " + quoted(program);
#else
    command = "cd " + quoted(folder.string()) + " && " + quoted(program);
#endif
    for (const std::string &a : args)
        command += " " + quoted(a);
    command += " <" + quoted(inFile.string()) + " >" + quoted(outFile.string());

    ProgramRun run;
    const int status = std::system(command.c_str());
#ifdef _WIN32
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.output = readText(outFile);
    std::error_code ec;
    std::filesystem::remove(inFile, ec);
    std::filesystem::remove(outFile, ec);
    return run;
}

std::string ruz2avuPath()
{
    std::string path = VELK_RUZ2AVU;
#ifdef _WIN32
    // The build tree's Unix path, seen from Wine through drive Z:.
    if (!path.empty() && path[0] == '/') {
        for (char &c : path)
            if (c == '/')
                c = '\\';
        path = "Z:" + path;
    }
#endif
    return path;
}

std::string consoleText(const std::string &text)
{
#ifdef _WIN32
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
#else
    return text;
#endif
}

} // namespace velk::test
