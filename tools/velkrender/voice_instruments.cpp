#include "tools/velkrender/voice_instruments.h"

#include <algorithm>

namespace velk::render {

std::vector<VoicePart> voiceParts(const velk_song *song)
{
    std::vector<VoicePart> parts(static_cast<std::size_t>(std::max(0, velk_voice_count(song))));
    for (std::size_t i = 0; i < parts.size(); ++i)
        parts[i].voice = static_cast<int>(i);
    for (std::size_t i = 0; i < velk_note_count(song); ++i) {
        velk_note note;
        if (velk_note_at(song, i, &note) != VELK_OK || note.voice < 0 ||
            static_cast<std::size_t>(note.voice) >= parts.size())
            continue;
        VoicePart &part = parts[static_cast<std::size_t>(note.voice)];
        ++part.notes;
        const std::string instrument = note.instrument ? note.instrument : "";
        if (!instrument.empty() &&
            std::find(part.instruments.begin(), part.instruments.end(), instrument) == part.instruments.end())
            part.instruments.push_back(instrument);
    }
    return parts;
}

std::string instrumentLabel(const VoicePart &part)
{
    constexpr std::size_t named = 3;
    std::string label;
    for (std::size_t i = 0; i < part.instruments.size() && i < named; ++i)
        label += (i ? "+" : "") + part.instruments[i];
    if (part.instruments.size() > named)
        label += "+" + std::to_string(part.instruments.size() - named) + " more";
    return label;
}

std::string partName(const velk_song *song, const VoicePart &part)
{
    const char *voice = velk_voice_name(song, part.voice);
    const std::string name = voice ? voice : "Voice " + std::to_string(part.voice + 1);
    const std::string label = instrumentLabel(part);
    return label.empty() ? name : name + " (" + label + ")";
}

} // namespace velk::render
