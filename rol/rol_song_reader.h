// Reading a ROL song (version 0.4) and the instruments it names from a bank.
#pragma once

#include <string>

#include "rol/rol_song_data.h"

class binistream;
class CFileProvider;

namespace velk::rol {

enum class SongReadStatus {
    ok,
    songUnavailable,   // the song could not be opened
    wrongVersion,      // the version words are not 0 and 4
    bankUnavailable,   // the bank could not be opened
    truncatedNotes,    // the file ends inside a note track
    tooLong,           // a time of last note above 32767 (read back negative)
};

// What went wrong, for messages.
const char *describe(SongReadStatus status);

// Reads the song from `song` (from its current position) and the instruments
// its timbre events name from the bank at `bankPath`, opened and closed
// through `fp`. Only an `ok` result fills `out`.
SongReadStatus readSong(binistream &song, const std::string &bankPath, const CFileProvider &fp, SongData &out);

} // namespace velk::rol
