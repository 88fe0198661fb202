// The lyric file that sits beside an IMS song ("SONG.ISS"): credits, text
// lines of Johab, and highlight records that light part of a line at a time
// of the song. Little-endian throughout:
//
//   offset         size     what
//   0              20       "IMPlay Song V2.0" and four blanks
//   20             10       zero bytes
//   30             4 x 30   four credits, Johab, NUL-ended within 30 bytes
//   150            2        R, the number of highlight records
//   152            2        L, the number of text lines
//   154            R x 5    records: uint16 time, uint8 line, uint8 first byte, uint8 byte count
//   154 + 5R       L x 64   text lines, Johab, NUL-ended within 64 bytes
//
// A record's time counts 1/30 beat: 8 of the song's 240 delay units a beat.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velk::lyrics {

constexpr char issSignature[] = "IMPlay Song V2.0    ";
constexpr std::size_t issSignatureSize = 20;
constexpr std::size_t issCreditCount = 4;
constexpr std::size_t issCreditOffset = 30;
constexpr std::size_t issCreditSize = 30;
constexpr std::size_t issCountsOffset = 150;
constexpr std::size_t issRecordsOffset = 154;
constexpr std::size_t issRecordSize = 5;
constexpr std::size_t issLineSize = 64;
// Song delay units (240 a beat) in one unit of a record's time.
constexpr std::uint32_t issUnitsPerTime = 8;

struct IssRecord {
    std::uint16_t time = 0;
    std::uint8_t line = 0;
    std::uint8_t first = 0;
    std::uint8_t count = 0;
};

struct IssFile {
    std::array<std::string, issCreditCount> credits;  // Johab, up to the NUL
    std::vector<std::string> lines;                   // Johab, up to the NUL
    std::vector<IssRecord> records;                   // in the file's order
};

struct IssReading {
    std::optional<IssFile> file;
    std::string problem;  // why the bytes are no lyric file, when `file` is empty
};

// Reads the whole file. Refuses, with a reason, bytes that are no lyric file:
// a wrong signature, counts that run past the end, a record naming a line
// past L, a range past the 64 bytes of a line or one that splits a
// character of the line's text. A range reaching past the text's NUL is kept
// (real files light empty lines); bytes after the lines are ignored.
IssReading readIssFile(const std::uint8_t *data, std::size_t size);

} // namespace velk::lyrics
