// What a song handle holds: the song as opened, its player and chip, and the
// state of rendering. The C functions of velk.h work on it; it is plain data
// so that each area of the library (opening, rendering, lyrics) can reach
// what it needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "libvelk/velk.h"
#include "rol/rol_song.h"

class Copl;

namespace velk {
class RolPlayer;
}

struct velk_song {
    // The last failure (VELK_OK and "" when none).
    velk_error lastError = VELK_OK;
    std::string message;
    // Whether the open succeeded: only then do the members below hold a song.
    bool open = false;

    // Where the song came from: its path for velk_open_file, else the
    // caller's options->location ("" when none). Files beside it (bank,
    // lyrics) are looked for there.
    std::string location;
    bool ims = false;
    // An IMS song's bytes as given (ROL songs keep none).
    velk::Bytes imsBytes;
    // The ROL song converted from an IMS song (its ticks per beat, tempo and
    // lists as the converter wrote them); empty for ROL songs.
    velk::rol::Song convertedSong;

    std::string titleEuckr;  // as the Winamp plug-in shows it
    std::string titleUtf8;

    int sampleRate = 44100;
    int channels = 2;
    velk_emulator emulator = VELK_EMULATOR_NUKED;
    bool pitchBends = false;

    // The player writes to the chip; the chip goes last. The song data the
    // player plays (ticks per beat, tempo events) is player->song().
    std::unique_ptr<Copl> chip;
    std::unique_ptr<velk::RolPlayer> player;
    std::int64_t lengthMs = 0;

    // Rendering: frames of the tick last played still to render, the
    // fraction of a frame owed, and whether the player reported the end.
    std::uint64_t pendingFrames = 0;
    double owedFrames = 0.0;
    bool ended = false;
    // Song time at which the next tick starts, summed tick by tick as the
    // length is (float, as the plug-in sums it).
    float nextTickMs = 0.0f;
    // The position: song time of the last seek (or 0) plus frames rendered
    // since.
    double anchorMs = 0.0;
    std::uint64_t framesSinceAnchor = 0;
};
