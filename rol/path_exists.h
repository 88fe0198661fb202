// Whether a file system entry exists at a path given as bytes in the
// system's code page (its attributes can be read).
#pragma once

#include <string>

namespace velk {

bool pathExists(const std::string &path);

} // namespace velk
