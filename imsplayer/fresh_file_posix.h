// Files the workspace makes for itself on POSIX systems: always new, never
// reached through a link, so that nothing planted under a workspace name is
// written through or kept.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace velk {

// Opens `path` for writing as a new file: whatever is there under that name
// (a link too) is removed first, and the file is created exclusively,
// without following links, with `mode` (less the umask). -1 when it cannot
// be made.
int createFreshFile(const std::string &path, mode_t mode);

// Writes all `size` bytes to `fd`, going on after partial writes and
// interruptions. False on the first failure (a full disk, a file size limit).
bool writeAll(int fd, const void *data, std::size_t size);

} // namespace velk
