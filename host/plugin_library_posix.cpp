#include "host/plugin_library.h"

#include <dlfcn.h>

namespace velk::host {

std::unique_ptr<PluginLibrary> PluginLibrary::load(const std::string &path, std::string &error)
{
    // A bare name would send dlopen searching the library path instead.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void *handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        error = why ? why : "cannot load " + path;
        return nullptr;
    }
    void *symbol = dlsym(handle, "winampGetInModule2");
    if (!symbol) {
        error = path + " has no export winampGetInModule2";
        dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(
        new PluginLibrary(handle, reinterpret_cast<GetInModule2Function>(symbol)));
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

} // namespace velk::host
