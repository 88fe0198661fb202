// The converter workspace: the system's temporary directory, where the
// converter program is written from the module, songs are staged under a
// fixed name and the converter writes its ROL song.
#pragma once

#include <cstddef>
#include <string>

#include "platform/host_interface.h"

namespace velk {

// The fixed names in the workspace. They are shared by every process that
// uses the same temporary directory.
inline constexpr char converterFileName[] = "ruz2avu.exe";
inline constexpr char stagedSongFileName[] = "$$.ims";
inline constexpr char rolSongFileName[] = "$$.rol";

// The converter image among the module's resources: type "IDR_FILE", this id,
// Korean language.
constexpr int converterResourceId = 125;

// Empty until initWorkspace; then the temporary directory, ending in the
// platform's directory separator, so that a name can be appended directly.
extern std::string workspacePath;

// The module's instance handle; every resource lookup goes through it.
extern HostInstance moduleInstance;

// The system's temporary directory ending in its separator: GetTempPathA on
// Windows; $TMPDIR, else "/tmp/", elsewhere.
std::string systemTemporaryPath();

// What the module's Init does for the workspace: keeps the instance handle
// and takes the temporary directory as the workspace.
void initWorkspace(HostInstance instance);

// What the module's Quit does for the workspace: deletes the converter and
// leaves everything else alone. Whether the deletion works is not reported.
void quitWorkspace();

// Writes the module's resource `id` to `path` (created or truncated); on Linux
// the file is made executable. Returns 1 when the whole file was written, 0
// otherwise; a file that could not be written whole is removed, so a broken
// converter is never left behind for later loads.
int extractResource(int id, const std::string &path);

// The command line that runs the converter in `workspace` on the staged
// song: the converter's full path, quoted so that blanks in the temporary
// path do no harm, then the bare name of the staged song, passed literally.
std::string converterCommandLine(const std::string &workspace);

// Writes `size` bytes to `path` with the C library's buffered streams ("wb").
// Returns whether the file was created and every byte reached it; a file
// that did not receive them all is removed.
bool writeWholeFile(const std::string &path, const void *data, std::size_t size);

} // namespace velk
