#include "tools/velkplay/voice_panel.h"

#include <algorithm>
#include <cmath>

namespace velk::play {

namespace {
constexpr int nameColumns = 10;        // "Snare drum"
constexpr int instrumentColumns = 10;  // bank names hold 8 characters
constexpr int widestMeter = 30;
constexpr int narrowestMeter = 5;

// Cut or padded to `columns`; bytes a terminal would not print plainly
// (a bank's name is whatever bytes it holds) show as '?'.
std::string field(const std::string &text, int columns)
{
    std::string out;
    for (char c : text) {
        if (static_cast<int>(out.size()) == columns)
            break;
        out += c >= 0x20 && c < 0x7f ? c : '?';
    }
    return out + std::string(static_cast<std::size_t>(columns) - out.size(), ' ');
}
} // namespace

std::string noteName(int key)
{
    static const char *const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (key < 0)
        return "";
    return names[key % 12] + std::to_string(key / 12 - 1);
}

std::vector<std::string> voicePanel(const std::vector<HeardVoice> &voices, const Listening &listening, int width)
{
    const int count = static_cast<int>(voices.size());
    // "NN name instrument [meter] note state"
    const int fixed = 3 + nameColumns + 1 + instrumentColumns + 1 + 2 + 1 + 4 + 1 + 5;
    const int meter = std::clamp(width - fixed, narrowestMeter, widestMeter);
    std::vector<std::string> rows;
    for (int v = 0; v < count; ++v) {
        const HeardVoice &voice = voices[static_cast<std::size_t>(v)];
        const std::string number = (v < 9 ? " " : "") + std::to_string(v + 1) + " ";
        const int lit = static_cast<int>(std::lround(std::clamp(voice.level, 0.0f, 1.0f) * static_cast<float>(meter)));
        const bool muted = (listening.muted >> v) & 1u;
        const char *state = muted ? "muted" : listening.muted != 0 && isSolo(listening, v, count) ? "solo" : "";
        std::string row = number + field(voice.name, nameColumns) + " " + field(voice.instrument, instrumentColumns) +
                          " [" + std::string(static_cast<std::size_t>(lit), '#') +
                          std::string(static_cast<std::size_t>(meter - lit), '.') + "] " +
                          field(voice.sounding ? noteName(voice.key) : "", 4) + " " + state;
        row.erase(row.find_last_not_of(' ') + 1);
        if (static_cast<int>(row.size()) > width)
            row.resize(static_cast<std::size_t>(std::max(width, 0)));
        rows.push_back(row);
    }
    return rows;
}

} // namespace velk::play
