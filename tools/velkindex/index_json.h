// The collection index as the page reads it (songs/index.json):
//   {"format": 1, "songs": [{"path", "kind", "title", "lengthMs", "voices",
//    "bank", "lyrics" (or null), "lyricsProblem"?, "credits", "size",
//    "hash"}], "files": [{"path", "size", "hash"}] (banks and lyric files),
//    "bad": [{"path", "why"}]}
#pragma once

#include <string>

#include "tools/velkindex/collection_index.h"

namespace velk::index {

std::string indexJson(const CollectionIndex &index);

// `text` as a JSON string, quotes included; bytes that are not UTF-8 become
// U+FFFD so that the file always parses.
std::string jsonString(const std::string &text);

} // namespace velk::index
