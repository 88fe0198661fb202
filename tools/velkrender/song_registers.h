// velkrender --regs: the chip register writes of a whole song, tick by tick,
// from the engine itself (not through the library, which has no such list).
#pragma once

#include <string>

#include "tools/velkrender/options.h"
#include "tools/velkrender/song_outcome.h"

namespace velk::render {

// The register writes of `song` to `path` ("-" for standard output).
SongOutcome listRegisters(const Options &options, const std::string &song, const std::string &path,
                          const Announce &announce);

} // namespace velk::render
