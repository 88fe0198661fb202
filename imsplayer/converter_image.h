// The converter program's image, built into the module where the system has
// no resources of the Windows kind (generated at build time from the native
// ruz2avu).
#pragma once

#include <cstddef>

namespace velk {

extern const unsigned char converterImage[];
extern const std::size_t converterImageSize;

} // namespace velk
