// The file information of songs asked about before, kept while their files
// stay as they were: a host asks again for every playlist entry it redraws
// or rereads.
#pragma once

#include <optional>

#include "module/song_info.h"

namespace velk {

// readSongInfo, answered from memory when the same name was asked about
// before and its file still has the size and modification time (whole
// seconds) it had then; a file rewritten within the same second at the
// same size would be missed. A name whose file cannot be looked at is
// always read afresh. At most 4096 names are kept; the oldest answers are
// dropped first. Not for several threads: the host asks from one.
std::optional<SongInfo> cachedSongInfo(const char *fileName);

} // namespace velk
