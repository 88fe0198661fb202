// The file operations of the workspace, by path in the system's code page.
// Results of deletions and attribute changes are not reported: the load that
// uses them judges its outcome by the files that are there afterwards.
#pragma once

#include <string>

namespace velk {

// Whether the path names an existing file or folder (its attributes can be read).
bool fileExists(const std::string &path);

// Clears read-only, hidden and system, so that the file can be deleted.
void makeFileDeletable(const std::string &path);

void deleteFile(const std::string &path);

// Copies, replacing `to` when it exists; on POSIX systems `to` is made
// afresh and never written through a link. True when the whole copy is
// there. After a failure `to` may be absent or as it was, but never a
// partial copy.
bool copyFile(const std::string &from, const std::string &to);

// The process's current directory; empty when it cannot be read.
std::string currentDirectory();

bool setCurrentDirectory(const std::string &path);

} // namespace velk
