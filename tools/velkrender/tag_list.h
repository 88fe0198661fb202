// Tags of an audio file as Vorbis comments: name and UTF-8 value, in order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velk::render {

using TagList = std::vector<std::pair<std::string, std::string>>;

// Adds `tags` to the Vorbis comment block of the FLAC file at `path` (made
// when it has none); false with `error` when the file cannot be rewritten.
bool addFlacTags(const std::string &path, const TagList &tags, std::string &error);

} // namespace velk::render
