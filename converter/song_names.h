// How ruz2avu forms file names from its arguments. The names keep the old
// case rules: the pattern and the output base in capitals with lower-case
// extensions. The directory part is kept as typed, so that the capitals do
// not lose it on a case-sensitive file system.
#pragma once

#include <string>

namespace velk::converter {

struct PathParts {
    std::string directory;  // up to and including the last separator, or empty
    std::string name;
};

// Splits at the last '/' (and on Windows also '\' or a drive's ':').
PathParts splitDirectory(const std::string &path);

// The search pattern for the first argument's name: in capitals, cut at its
// first ".IMS", with ".ims" appended (song, song.ims and SONG.IMS all give
// SONG.ims).
std::string songPattern(const std::string &name);

// The base of a matched file: its name cut at its first ".IMS" in any case.
std::string songBase(const std::string &matchedName);

// The output base from the optional output name: the name in capitals, cut at
// its first ".ROL", after the directory part as typed.
std::string outputBase(const std::string &outputName);

// ASCII letters only, whatever the locale.
std::string upperCase(std::string text);
std::string lowerCase(std::string text);

} // namespace velk::converter
