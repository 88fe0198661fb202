#include "host/plugin_library.h"

#include <algorithm>
#include <windows.h>

namespace velk::host {

namespace {
std::string systemMessage(DWORD code)
{
    char *text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}
} // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::load(const std::string &path, std::string &error)
{
    // LoadLibrary wants backslashes in a path.
    std::string where = path;
    std::replace(where.begin(), where.end(), '/', '\\');
    HMODULE module = LoadLibraryA(where.c_str());
    if (!module) {
        error = "cannot load " + path + ": " + systemMessage(GetLastError());
        return nullptr;
    }
    FARPROC symbol = GetProcAddress(module, "winampGetInModule2");
    if (!symbol) {
        error = path + " has no export winampGetInModule2";
        FreeLibrary(module);
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(
        new PluginLibrary(module, reinterpret_cast<GetInModule2Function>(reinterpret_cast<void (*)()>(symbol))));
}

PluginLibrary::~PluginLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

} // namespace velk::host
