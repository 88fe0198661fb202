#include "tools/velkplay/listening.h"

#include <algorithm>
#include <cstdio>

namespace velk::play {

namespace {
constexpr int tempoStepPercent = 5;
constexpr int slowestPercent = 25;
constexpr int fastestPercent = 400;
constexpr int widestTranspose = 12;

std::uint32_t everyVoice(int voiceCount) { return voiceCount >= 32 ? ~0u : (1u << voiceCount) - 1u; }
} // namespace

void toggleMute(Listening &listening, int voice) { listening.muted ^= 1u << voice; }

bool isSolo(const Listening &listening, int voice, int voiceCount)
{
    return listening.muted == (everyVoice(voiceCount) & ~(1u << voice));
}

void toggleSolo(Listening &listening, int voice, int voiceCount)
{
    listening.muted = isSolo(listening, voice, voiceCount) ? 0u : everyVoice(voiceCount) & ~(1u << voice);
}

void stepTempo(Listening &listening, int direction)
{
    listening.tempoPercent =
        std::clamp(listening.tempoPercent + direction * tempoStepPercent, slowestPercent, fastestPercent);
}

void stepTranspose(Listening &listening, int direction)
{
    listening.transpose = std::clamp(listening.transpose + direction, -widestTranspose, widestTranspose);
}

std::string listeningText(const Listening &listening)
{
    std::string text;
    if (listening.tempoPercent != 100)
        text = "tempo " + std::to_string(listening.tempoPercent) + "%";
    if (listening.transpose != 0) {
        if (!text.empty())
            text += "  ";
        text += "key " + std::string(listening.transpose > 0 ? "+" : "") + std::to_string(listening.transpose);
    }
    return text;
}

std::string evenLoudnessText(const Listening &listening, const std::optional<double> &gainDb,
                             const std::string &failure)
{
    if (!listening.evenLoudness)
        return "";
    if (!failure.empty())
        return "even: not measured";
    if (!gainDb)
        return "even ...";
    char text[32];
    std::snprintf(text, sizeof text, "even %+.1f dB", *gainDb);
    return text;
}

} // namespace velk::play
