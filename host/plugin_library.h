// A plug-in loaded into the host process: LoadLibrary on Windows, dlopen on
// Linux. The library stays loaded for the object's lifetime.
#pragma once

#include <memory>
#include <string>

#include "platform/host_interface.h"

namespace velk::host {

class PluginLibrary {
public:
    // Loads `path` and finds its export; on failure `error` says why and the
    // result is null.
    static std::unique_ptr<PluginLibrary> load(const std::string &path, std::string &error);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    // The export winampGetInModule2.
    GetInModule2Function entry() const { return entry_; }
    // What the host puts into the record's hDllInstance.
    HostInstance instance() const { return handle_; }

private:
    PluginLibrary(void *handle, GetInModule2Function entry) : handle_(handle), entry_(entry) {}
    void *handle_;
    GetInModule2Function entry_;
};

} // namespace velk::host
