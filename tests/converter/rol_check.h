// Checks on converted ROL songs, reading them back the way the player does.
#pragma once

#include <optional>
#include <string>

#include "common/bytes.h"
#include "rol/rol_song.h"

namespace velk::test {

// Reads `rol` as the player does: header, tempo track, 11 voice blocks whose
// note records run until their durations reach the time of last note.
// Nothing when a count or a sum is out of order or the bytes run out.
std::optional<rol::Song> readRol(const Bytes &rol, std::string &why);

// Fails the current test unless `rol` reads back whole (nothing left over),
// every voice's durations add up exactly to its time of last note, every time
// is within 0..32767 and ascends within its track, and writing what was read
// gives the same bytes.
void expectWellFormedRol(const Bytes &rol);

} // namespace velk::test
