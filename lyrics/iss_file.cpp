#include "lyrics/iss_file.h"

#include <algorithm>
#include <cstring>

namespace velk::lyrics {
namespace {

std::uint16_t uint16At(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::string textOfField(const std::uint8_t *field, std::size_t size)
{
    const std::uint8_t *end = std::find(field, field + size, 0);
    return std::string(reinterpret_cast<const char *>(field), static_cast<std::size_t>(end - field));
}

IssReading refusal(std::string problem)
{
    IssReading r;
    r.problem = std::move(problem);
    return r;
}

// Whether `offset` starts a character of the text or lies at or past its
// end: a byte below 0x80 is one character, any other leads a pair (a lead
// byte that ends the text stands alone, as the decoder reads it).
bool onBoundary(const std::string &text, std::size_t offset)
{
    std::size_t i = 0;
    while (i < offset && i < text.size())
        i += static_cast<unsigned char>(text[i]) < 0x80 ? 1 : std::min<std::size_t>(2, text.size() - i);
    return i == offset || offset >= text.size();
}

} // namespace

IssReading readIssFile(const std::uint8_t *data, std::size_t size)
{
    if (size < issRecordsOffset)
        return refusal("it is " + std::to_string(size) + " bytes long, shorter than a lyric file's " +
                       std::to_string(issRecordsOffset) + "-byte header");
    if (std::memcmp(data, issSignature, issSignatureSize) != 0)
        return refusal("it does not start with \"IMPlay Song V2.0\"");

    const std::size_t recordCount = uint16At(data + issCountsOffset);
    const std::size_t lineCount = uint16At(data + issCountsOffset + 2);
    const std::size_t linesOffset = issRecordsOffset + recordCount * issRecordSize;
    const std::size_t needed = linesOffset + lineCount * issLineSize;
    if (size < needed)
        return refusal("its " + std::to_string(recordCount) + " records and " + std::to_string(lineCount) +
                       " lines need " + std::to_string(needed) + " bytes, it has " + std::to_string(size));

    IssFile file;
    for (std::size_t i = 0; i < issCreditCount; ++i)
        file.credits[i] = textOfField(data + issCreditOffset + i * issCreditSize, issCreditSize);
    file.lines.reserve(lineCount);
    for (std::size_t i = 0; i < lineCount; ++i)
        file.lines.push_back(textOfField(data + linesOffset + i * issLineSize, issLineSize));

    file.records.reserve(recordCount);
    for (std::size_t i = 0; i < recordCount; ++i) {
        const std::uint8_t *p = data + issRecordsOffset + i * issRecordSize;
        const IssRecord r{uint16At(p), p[2], p[3], p[4]};
        const std::string where = "record " + std::to_string(i + 1);
        if (r.line >= lineCount)
            return refusal(where + " names line " + std::to_string(r.line + 1) + " of " + std::to_string(lineCount));
        if (std::size_t{r.first} + r.count > issLineSize)
            return refusal(where + " lights bytes " + std::to_string(r.first) + " to " +
                           std::to_string(r.first + r.count) + ", past the 64 of a line");
        const std::string &text = file.lines[r.line];
        if (!onBoundary(text, r.first) || !onBoundary(text, std::size_t{r.first} + r.count))
            return refusal(where + " lights bytes " + std::to_string(r.first) + " to " +
                           std::to_string(r.first + r.count) + ", which split a character of line " +
                           std::to_string(r.line + 1));
        file.records.push_back(r);
    }

    IssReading reading;
    reading.file = std::move(file);
    return reading;
}

} // namespace velk::lyrics
