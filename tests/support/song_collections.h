// Generated songs and banks for folders laid out as DOS song collections
// are: SONG.IMS beside SONG.BNK or STANDARD.BNK, names in capitals.
#pragma once

#include <string>

#include "common/bytes.h"

namespace velk::test {

// A short melodic IMS song: one note of `beats` beats (tempo 120) on voice 0
// with the instrument "piano1". `title` is the Johab title field's text.
Bytes shortImsSong(const std::string &title, int beats = 2);

// A bank whose "piano1" sounds.
Bytes soundingBank();

// A bank without instruments: a song played with it stays silent.
Bytes emptyBank();

} // namespace velk::test
