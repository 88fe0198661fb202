// Which instrument bank goes with a song: the song's own bank beside it, or
// else the folder's standard bank.
#pragma once

#include <string>

namespace velk {

// The song's own bank: the song path with the three characters after the
// last '.' of its file name replaced by "bnk" ("tune.ims" -> "tune.bnk",
// "tune.imsx" -> "tune.bnkx"). A shorter extension is replaced whole
// ("tune.a" -> "tune.bnk"), and a file name without a '.' gets ".bnk"
// appended; a '.' in a folder name never counts. Slash and backslash both
// separate folders.
std::string songBankPath(const std::string &songPath);

// "standard.bnk" in the song's folder (the path up to and including its last
// slash or backslash; nothing, so the current folder, when it has none).
std::string standardBankPath(const std::string &songPath);

// The song's own bank when it exists, else the folder's standard bank (as
// formed when neither exists). Where file names keep their case, each is
// also found under its name in any other case (existingPathInAnyCase). Only
// the chosen one is meant to be tried: there is no fallback when it cannot be
// read.
std::string chooseBankPath(const std::string &songPath);

} // namespace velk
