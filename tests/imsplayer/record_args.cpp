// A stand-in for the converter and the command interpreter in tests. Each
// start appends what it was started with to "recorded.txt" in its current
// directory: a line "run", on Windows the raw command line, then one
// argument per line. The arguments "sleep MS" make it wait that long first.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "sleep") == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    std::FILE *out = std::fopen("recorded.txt", "ab");
    if (!out)
        return 1;
    std::fprintf(out, "run\n");
#ifdef _WIN32
    std::fprintf(out, "%s\n", GetCommandLineA());
#endif
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "%s\n", argv[i]);
    std::fclose(out);
    return 0;
}
