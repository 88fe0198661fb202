// The chip songs are played on: AdPlug's OPL2 emulator as one OPL2.
#pragma once

#include <emuopl.h>

#include <memory>

namespace velk {

// One emulated OPL2 chip whose signal fills every channel at full level, in
// 16-bit and 8-bit (unsigned, centred on 128), mono and stereo. CEmuopl is
// made as two chips, one per speaker, and mixes them at half level in mono;
// a song for one OPL2 writes only the first, which would leave the right
// speaker silent and halve the mono level. Throws std::bad_alloc.
std::unique_ptr<CEmuopl> makeOpl2Chip(int sampleRate, bool use16Bit, bool stereo);

} // namespace velk
