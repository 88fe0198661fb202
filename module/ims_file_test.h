// Whether a file is an IMS song, as the host asks before it plays one.
#pragma once

namespace velk {

// True when the name ends in ".ims" (any case, from its last dot on) and the
// file begins with the six head bytes of an IMS song: 01 or 10 (hex), then
// five zero bytes. Both heads are in circulation.
bool isImsSongFile(const char *fileName);

} // namespace velk
