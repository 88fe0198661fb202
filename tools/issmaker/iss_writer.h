// Writes lyric files (.iss) for tests and fuzz seeds, odd ones included:
// the counts, the signature and the records are written as given, unchecked.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "lyrics/iss_file.h"

namespace velk::lyrics {

struct IssSource {
    std::string signature = issSignature;        // padded or cut to 20 bytes
    std::array<std::string, issCreditCount> credits;  // Johab, cut to 29 bytes
    std::vector<std::string> lines;                // Johab, cut to 63 bytes, each in 64
    std::vector<IssRecord> records;
    std::optional<std::uint16_t> recordCount;      // else records.size()
    std::optional<std::uint16_t> lineCount;        // else lines.size()
};

Bytes writeIssFile(const IssSource &source);

} // namespace velk::lyrics
