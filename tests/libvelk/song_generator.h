// Songs made from a seed that play as real songs do where seeks go wrong:
// notes held for many seconds, legato chains, envelopes that sustain or
// decay while keyed, long releases, key scaling, volume changes under a
// sounding note, rhythm mode, tempo and instrument changes, a voice silent
// for a minute. Each is an imsmaker song text and a bankmaker bank text, so
// that a case that fails can be kept as a text file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace velk::test {

struct MadeSong {
    std::string name;      // "seed 17", or the regression file's name
    std::string bankText;  // tools/bankmaker/bank_text.h
    std::string songText;  // tools/imsmaker/song_text.h
    // Song times worth seeking to (ms); more are chosen from the score.
    std::vector<std::int64_t> targets;
};

// `small`: shorter songs (20 to 60 s, notes held up to 30 s) on fewer
// voices, for the ordinary test run.
MadeSong generateSong(std::uint32_t seed, bool small = false);

// The text form of a case: the bank text, a line "%%song", the song text,
// and optionally a line "%%targets 1000 2000 ...".
std::string caseText(const MadeSong &song);
std::optional<MadeSong> parseCaseText(const std::string &name, const std::string &text);

// The IMS and bank bytes; empty when a text does not parse (`error` says why).
struct SongBytes {
    Bytes ims;
    Bytes bank;
};
std::optional<SongBytes> buildSong(const MadeSong &song, std::string &error);

} // namespace velk::test
