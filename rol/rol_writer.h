// Writes a ROL song in the layout the converter gives it: the engine skips
// the reserved area and the track names, but the converter keeps its figures
// and the IMS title there.
#pragma once

#include <string>

#include "common/bytes.h"
#include "rol/rol_song.h"

namespace velk::rol {

// The bytes of `song`. Note records are written only for voices whose time
// of last note is not 0, as the reader expects.
Bytes writeSong(const Song &song);

// The 15-byte name of a voice's track: `word` ("Voix ", "Timbre ",
// "Volume ", "Pitch ") and the voice suffix (" 3" for voice 3, "10" for 10).
std::string trackName(const char *word, int voice);

} // namespace velk::rol
