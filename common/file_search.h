// Finding files by name the way DOS did: the converter's directory search
// (the ordinary files, not hidden, system or directories, whose names match a
// pattern with the wildcards * and ?) and the lookup of one name in any case.
// Windows asks FindFirstFileA/FindNextFileA; elsewhere the names are matched
// case-blind, as on the file systems the songs come from.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velk {

struct FoundFile {
    std::string path;  // the directory as given, then the name as found: what to open
    std::string name;  // the name as found
};

// `directory` is empty (the working directory) or ends in a separator.
// Matches come in the order of the search (by name outside Windows).
std::vector<FoundFile> findOrdinaryFiles(const std::string &directory, const std::string &namePattern);

// The ordinary file of `directory` whose name equals `name` ignoring ASCII
// case, the first in byte order of names when several do; no wildcards.
std::optional<FoundFile> findFileIgnoringCase(const std::string &directory, const std::string &name);

// ASCII letters compared without their case, every other byte as it is.
bool equalIgnoringCase(const std::string &a, const std::string &b);

// Case-blind wildcard match of a whole name: * any run, ? any one character.
bool matchesPattern(const std::string &name, const std::string &pattern);

} // namespace velk
