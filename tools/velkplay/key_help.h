// The lines `?` shows in place of the voice panel: every key velkplay takes.
#pragma once

#include <string>
#include <vector>

namespace velk::play {

// Each line under 80 columns.
const std::vector<std::string> &keyHelp();

} // namespace velk::play
