#include "tools/velkindex/index_json.h"

#include <cstdio>

namespace velk::index {

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Copy one whole UTF-8 character, or stand in for a broken one.
            std::size_t len = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
            std::string one = text.substr(i, len);
            if (len > 1 && one.size() == len && isUtf8(one)) {
                out += one;
                i += len;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string indexJson(const CollectionIndex &index)
{
    std::string out = "{\"format\": 1,\n\"songs\": [";
    const char *sep = "\n";
    for (const auto &s : index.songs) {
        out += sep;
        out += "{\"path\": " + jsonString(s.path) + ", \"kind\": \"" + s.kind + "\", \"title\": " + jsonString(s.title) +
               ", \"lengthMs\": " + std::to_string(s.lengthMs) + ", \"voices\": " + std::to_string(s.voices) +
               ", \"bank\": " + jsonString(s.bank) + ", \"lyrics\": " + (s.lyrics.empty() ? "null" : jsonString(s.lyrics));
        if (!s.lyricsProblem.empty()) out += ", \"lyricsProblem\": " + jsonString(s.lyricsProblem);
        out += ", \"credits\": [";
        for (std::size_t i = 0; i < s.credits.size(); ++i) out += (i ? ", " : "") + jsonString(s.credits[i]);
        out += "], \"size\": " + std::to_string(s.size) + ", \"hash\": \"" + s.hash + "\"}";
        sep = ",\n";
    }
    out += "],\n\"files\": [";
    sep = "\n";
    for (const auto &f : index.companions) {
        out += sep;
        out += "{\"path\": " + jsonString(f.path) + ", \"size\": " + std::to_string(f.size) + ", \"hash\": \"" + f.hash + "\"}";
        sep = ",\n";
    }
    out += "],\n\"bad\": [";
    sep = "\n";
    for (const auto &b : index.bad) {
        out += sep;
        out += "{\"path\": " + jsonString(b.path) + ", \"why\": " + jsonString(b.why) + "}";
        sep = ",\n";
    }
    return out + "]}\n";
}

} // namespace velk::index
