// A song collection read as a site lists it: every file under the given
// folders, each song opened through libvelk for what a list shows (title,
// length, voices, its bank and lyric file), and every file that is not a
// song, bank or lyric file, or cannot play, listed with the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velk::index {

// Paths are relative to the base folder, with '/' between folders.
struct IndexedSong {
    std::string path;
    std::string kind;            // "ims" or "rol"
    std::string title;           // UTF-8; "" for ROL songs
    std::int64_t lengthMs = 0;
    int voices = 0;
    std::string bank;            // the bank it plays with
    std::string lyrics;          // its lyric file, "" for none
    std::string lyricsProblem;   // why a lyric file beside it was ignored
    std::vector<std::string> credits;
    std::uint64_t size = 0;
    std::string hash;            // SHA-256 of the song file
};

struct CompanionFile {           // a bank or lyric file some song uses
    std::string path;
    std::uint64_t size = 0;
    std::string hash;
};

struct BadEntry {
    std::string path;
    std::string why;
};

struct CollectionIndex {
    std::vector<IndexedSong> songs;
    std::vector<CompanionFile> companions;
    std::vector<BadEntry> bad;
};

// Reads `folders` (relative to `base`; "" or "." for the base itself) in
// path order. Never throws for what it finds: a folder that cannot be read
// is a bad entry too.
CollectionIndex indexCollection(const std::string &base, const std::vector<std::string> &folders);

// Whether `text` is well-formed UTF-8 (no overlongs, surrogates or values
// past U+10FFFF).
bool isUtf8(const std::string &text);

} // namespace velk::index
