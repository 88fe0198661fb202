#include "imsplayer/converter_workspace.h"

#include <windows.h>

#include "imsplayer/workspace_files.h"

namespace velk {

std::string systemTemporaryPath()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer)
        return {};
    return std::string(buffer, length);  // ends in a backslash
}

std::string initialWorkspacePath() { return systemTemporaryPath(); }

// The temporary path is the user's own: it is used as it comes.
bool prepareWorkspace() { return true; }

bool converterIsTrusted(const std::string &path) { return fileExists(path); }

void quitWorkspace() { deleteFile(workspacePath + converterFileName); }

int extractResource(int id, const std::string &path)
{
    // The converter resource is Korean; FindResourceA falls back to it from
    // the thread's own language.
    HMODULE module = static_cast<HMODULE>(moduleInstance);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), "IDR_FILE");
    if (!resource)
        return 0;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return 0;
    const void *bytes = LockResource(loaded);
    if (!bytes)
        return 0;
    // The resource belongs to the loaded module: nothing to free or unlock.
    return writeWholeFile(path, bytes, size) ? 1 : 0;
}

std::string converterCommandLine(const std::string &workspace)
{
    // cmd /C keeps a quoted program path only when the quotes are the only
    // two and nothing like "(" or "&" lies between them; otherwise it drops
    // the first and the last quote. A pair around the whole command is what
    // it drops then, whatever the temporary path holds.
    return "\"\"" + workspace + converterFileName + "\" " + stagedSongFileName + "\"";
}

} // namespace velk
