#include "tools/issmaker/iss_writer.h"

#include <algorithm>

namespace velk::lyrics {
namespace {

void putField(Bytes &out, const std::string &text, std::size_t size, std::size_t textMax)
{
    const std::size_t n = std::min(text.size(), textMax);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), size - n, 0);
}

void putUint16(Bytes &out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

} // namespace

Bytes writeIssFile(const IssSource &source)
{
    Bytes out;
    std::string signature = source.signature;
    signature.resize(issSignatureSize, ' ');
    putField(out, signature, issSignatureSize, issSignatureSize);
    out.insert(out.end(), issCreditOffset - issSignatureSize, 0);
    for (const std::string &credit : source.credits)
        putField(out, credit, issCreditSize, issCreditSize - 1);
    putUint16(out, source.recordCount.value_or(static_cast<std::uint16_t>(source.records.size())));
    putUint16(out, source.lineCount.value_or(static_cast<std::uint16_t>(source.lines.size())));
    for (const IssRecord &r : source.records) {
        putUint16(out, r.time);
        out.push_back(r.line);
        out.push_back(r.first);
        out.push_back(r.count);
    }
    for (const std::string &line : source.lines)
        putField(out, line, issLineSize, issLineSize - 1);
    return out;
}

} // namespace velk::lyrics
