// The OPL2 emulators of AdPlug 2.3.3 a song can be rendered with, each as
// one OPL2 chip whose signal fills every channel of every output format.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/velkrender/render_loop.h"

class Copl;

namespace velk::render {

enum class Emulator {
    satoh,  // CEmuopl (Tatsuyuki Satoh's fmopl): what the plug-in plays
    nuked,  // CNemuopl (Nuked OPL3): the most faithful to the chip
    woody,  // CWemuopl (DOSBox's, by the DOSBox team)
    ken,    // CKemuopl (Ken Silverman's)
};

// "satoh, nuked, woody or ken".
extern const char *const emulatorNames;

// The emulator called `name`, or none.
std::optional<Emulator> emulatorNamed(const std::string &name);

// A chip of that emulator rendering `format`. Ken Silverman's emulator keeps
// its state in globals: one of its chips at a time. Throws std::bad_alloc.
std::unique_ptr<Copl> makeChip(Emulator emulator, const AudioFormat &format);

} // namespace velk::render
