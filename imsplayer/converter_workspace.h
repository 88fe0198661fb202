// The converter workspace, where the converter program is written from the
// module, songs are staged under a fixed name and the converter writes its
// ROL song: the system's temporary directory on Windows, which is the user's
// own there. Elsewhere the temporary folder is shared by every user, and a
// file planted there by one would be run or read by another's load: the
// workspace is a folder of the module's own in it, private to the user.
#pragma once

#include <cstddef>
#include <string>

#include "platform/host_interface.h"

namespace velk {

// The fixed names in the workspace. They are shared by every process of the
// user that uses the same workspace.
inline constexpr char converterFileName[] = "ruz2avu.exe";
inline constexpr char stagedSongFileName[] = "$$.ims";
inline constexpr char rolSongFileName[] = "$$.rol";

// The converter image among the module's resources: type "IDR_FILE", this id,
// Korean language.
constexpr int converterResourceId = 125;

// Empty until initWorkspace; then the workspace folder, ending in the
// platform's directory separator, so that a name can be appended directly.
extern std::string workspacePath;

// The name of the private workspace folder (not on Windows): this prefix and
// the user's id, or a fresh folder named after it when that one cannot be
// trusted.
inline constexpr char privateFolderPrefix[] = "in_velk-";

// The module's instance handle; every resource lookup goes through it.
extern HostInstance moduleInstance;

// The system's temporary directory ending in its separator: GetTempPathA on
// Windows; $TMPDIR, else "/tmp/", elsewhere.
std::string systemTemporaryPath();

// Where Init puts the workspace: the temporary directory on Windows;
// elsewhere the private folder's path under $XDG_RUNTIME_DIR where that is
// set, else under the temporary directory. Nothing is made yet.
std::string initialWorkspacePath();

// What the module's Init does for the workspace: keeps the instance handle
// and sets the workspace path.
void initWorkspace(HostInstance instance);

// Makes the workspace ready for one load. On Windows there is nothing to do.
// Elsewhere the folder is used only when it is a real directory (not a link)
// owned by the user and closed to group and others; it is made (mode 0700)
// when missing, and when the one there fails the test a fresh private one is
// made instead and becomes the workspace. False when no private folder can
// be had: the load must then fail without touching anything.
bool prepareWorkspace();

// Whether the converter file in the workspace may be run as it is. On
// Windows, whenever it exists. Elsewhere only a regular file (not a link)
// owned by the user that nobody else may write; anything else is replaced
// from the module, never run.
bool converterIsTrusted(const std::string &path);

// What the module's Quit does for the workspace. On Windows it deletes the
// converter and leaves everything else alone. Elsewhere it removes what the
// module made: the converter, any song file left behind and the private
// folder, but only from a folder that passes the privacy test. Whether the
// deletions work is not reported.
void quitWorkspace();

// Writes the module's resource `id` to `path`. On Windows the file is
// created or truncated. Elsewhere whatever is there (a link too) is removed
// and the file made afresh without following links, executable by the user
// alone. Returns 1 when the whole file was written, 0 otherwise; a file that
// could not be written whole is removed, so a broken converter is never left
// behind for later loads.
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
