// velkrender --format vgm: the chip's writes as the library plays a song, as
// a VGM 1.71 file for one YM3812 (OPL2), timed to the sample at 44100 Hz.
#pragma once

#include <string>

#include "libvelk/velk.h"

namespace velk::render {

struct VgmTarget {
    std::string path;
    bool gzipped = false;  // .vgz
    bool ims = false;      // the GD3 system: "IMS" or "ROL"
    std::string title;     // UTF-8; the file's name when empty
};

// Renders the rest of `song` (opened at 44100 Hz, its controls set, nothing
// rendered yet) to its end and writes its chip writes to `target.path`.
// False with `error`; no file is left then.
bool writeVgm(velk_song *song, const VgmTarget &target, std::string &error);

} // namespace velk::render
