// velkrender --stems: a file for each voice that has notes, that voice
// alone, each as long as the whole song, so that they line up and add up to
// it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "libvelk/velk.h"

namespace velk::render {

struct Stem {
    int voice = 0;
    std::string path;
};

// The stems of `song` (opened from `songPath`): each voice with notes in the
// score and not in `muted`, in order, its file named
// "SONG - 03 Voice 3 (PIANO1).wav": the song's file name without its
// extension, the voice's number and name, its instruments as
// instrumentLabel gives them, and `extension`; in `outDir`, or beside the
// song when that is empty. Characters a file name cannot hold become "_".
std::vector<Stem> stemsOf(const velk_song *song, std::uint32_t muted, const std::string &songPath,
                          const std::string &outDir, const char *extension);

// Every voice of `song` but `voice`, as a mask for velk_set_muted_voices.
std::uint32_t allBut(const velk_song *song, int voice);

} // namespace velk::render
