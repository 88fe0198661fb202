// Whether a file system entry exists at a path given as bytes in the
// system's code page (its attributes can be read).
#pragma once

#include <optional>
#include <string>

namespace velk {

bool pathExists(const std::string &path);

// `path` when it exists. Where the file system tells names apart by case
// (not Windows), else the ordinary file in the same folder whose name equals
// the path's file name ignoring ASCII case, the first in byte order of names
// when several do: songs from DOS keep their names in capitals (SONG.BNK,
// STANDARD.BNK). Nothing when there is none.
std::optional<std::string> existingPathInAnyCase(const std::string &path);

} // namespace velk
