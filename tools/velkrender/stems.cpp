#include "tools/velkrender/stems.h"

#include <cstdio>

#include "tools/velkrender/song_files.h"
#include "tools/velkrender/voice_instruments.h"

namespace velk::render {
namespace {

// `text` with what Windows or Linux cannot hold in a file name replaced:
// instrument names are whatever bytes the bank holds.
std::string fileNameSafe(std::string text)
{
    for (char &c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string("/\\:*?\"<>|").find(c) != std::string::npos)
            c = '_';
    }
    return text;
}

} // namespace

std::vector<Stem> stemsOf(const velk_song *song, std::uint32_t muted, const std::string &songPath,
                          const std::string &outDir, const char *extension)
{
    // The song's own output path without its extension gives the folder and
    // the name the stems start with.
    const std::string base = outputPath(songPath, "", outDir);
    std::vector<Stem> stems;
    for (const VoicePart &part : voiceParts(song)) {
        if (part.notes == 0 || (muted & (1u << part.voice)))
            continue;
        char number[12];
        std::snprintf(number, sizeof number, "%02d", part.voice + 1);
        stems.push_back({part.voice, base + " - " + number + " " + fileNameSafe(partName(song, part)) + extension});
    }
    return stems;
}

std::uint32_t allBut(const velk_song *song, int voice)
{
    const int count = velk_voice_count(song);
    return ((1u << count) - 1) & ~(1u << voice);
}

} // namespace velk::render
