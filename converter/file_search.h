// The directory search of ruz2avu: the ordinary files (not hidden, system or
// directories) whose names match a pattern with the wildcards * and ?.
// Windows asks FindFirstFileA/FindNextFileA; elsewhere the names are matched
// case-blind, as on the file systems the songs come from.
#pragma once

#include <string>
#include <vector>

namespace velk::converter {

struct FoundFile {
    std::string path;  // the directory as given, then the name as found: what to open
    std::string name;  // the name as found
};

// `directory` is empty (the working directory) or ends in a separator.
// Matches come in the order of the search (by name outside Windows).
std::vector<FoundFile> findOrdinaryFiles(const std::string &directory, const std::string &namePattern);

// Case-blind wildcard match of a whole name: * any run, ? any one character.
bool matchesPattern(const std::string &name, const std::string &pattern);

} // namespace velk::converter
