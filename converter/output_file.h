// Opens the file the converter writes its ROL song to. In a shared folder a
// name may have been planted as a link to someone else's file: on POSIX
// systems the last component of the path is never followed.
#pragma once

#include <cstdio>
#include <string>

namespace velk::converter {

// `path` opened for binary writing, created or truncated; null when it
// cannot be opened (on POSIX systems: also when it is a link).
std::FILE *openOutputFile(const std::string &path);

} // namespace velk::converter
