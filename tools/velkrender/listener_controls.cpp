#include "tools/velkrender/listener_controls.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace velk::render {
namespace {

constexpr int rhythmVoices = 5;
// Names of the rhythm voices, in the library's order: short, velkplay's
// key, long.
constexpr const char *rhythmNames[rhythmVoices][3] = {{"bd", "b", "bass"},
                                                      {"sd", "s", "snare"},
                                                      {"tt", "t", "tom"},
                                                      {"cy", "c", "cymbal"},
                                                      {"hh", "h", "hihat"}};

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A voice number 1 to VELK_MAX_VOICES, or 0.
int voiceNumber(const std::string &text)
{
    if (text.empty() || text.size() > 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text.back())))
        return 0;
    const int n = std::atoi(text.c_str());
    return n >= 1 && n <= VELK_MAX_VOICES ? n : 0;
}

int rhythmIndex(const std::string &name)
{
    for (int i = 0; i < rhythmVoices; ++i)
        if (name == rhythmNames[i][0] || name == rhythmNames[i][1] || name == rhythmNames[i][2])
            return i;
    return -1;
}

bool addItem(const std::string &item, VoiceList &list)
{
    const std::string name = lower(item);
    if (const int r = rhythmIndex(name); r >= 0) {
        list.rhythm |= 1u << r;
        return true;
    }
    const std::size_t dash = name.find('-');
    const int first = voiceNumber(name.substr(0, dash));
    const int last = dash == std::string::npos ? first : voiceNumber(name.substr(dash + 1));
    if (first == 0 || last < first)
        return false;
    for (int n = first; n <= last; ++n)
        list.numbers |= 1u << (n - 1);
    return true;
}

} // namespace

bool addVoices(const std::string &text, VoiceList &list, std::string &error)
{
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!addItem(item, list)) {
            error = "no voice \"" + item + "\" in \"" + text +
                    "\": voices are numbers 1 to 11 (or ranges such as 1-6) and bd, sd, tt, cy, hh";
            return false;
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    list.given = true;
    return true;
}

std::uint32_t voiceMask(const VoiceList &list, const velk_song *song, std::string &missing)
{
    const int count = velk_voice_count(song);
    // Rhythm voices, when the song has them, are its last five.
    int firstRhythm = -1;
    if (count >= rhythmVoices && velk_voice_is_rhythm(song, count - rhythmVoices))
        firstRhythm = count - rhythmVoices;
    std::uint32_t mask = 0;
    auto note = [&](const std::string &item) { missing += (missing.empty() ? "" : ", ") + item; };
    for (int n = 1; n <= VELK_MAX_VOICES; ++n) {
        if (!(list.numbers & (1u << (n - 1))))
            continue;
        if (n <= count)
            mask |= 1u << (n - 1);
        else
            note(std::to_string(n));
    }
    for (int r = 0; r < rhythmVoices; ++r) {
        if (!(list.rhythm & (1u << r)))
            continue;
        if (firstRhythm >= 0)
            mask |= 1u << (firstRhythm + r);
        else
            note(rhythmNames[r][0]);
    }
    return mask;
}

std::uint32_t mutedVoices(const ListenerControls &controls, const velk_song *song, std::string &missing)
{
    const int count = velk_voice_count(song);
    const std::uint32_t all = count >= 32 ? ~0u : (1u << count) - 1;
    std::uint32_t muted = voiceMask(controls.muted, song, missing);
    if (controls.soloed.given)
        muted |= all & ~voiceMask(controls.soloed, song, missing);
    return muted & all;
}

bool parseGain(const std::string &text, VoiceGain &gain, std::string &error)
{
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        error = "--gain takes VOICE=DB (for example 3=-6 or bd=-12), not " + text;
        return false;
    }
    if (!addVoices(text.substr(0, equals), gain.voices, error)) {
        error = "--gain: " + error;
        return false;
    }
    const std::string number = text.substr(equals + 1);
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || errno != 0 || !(std::fabs(value) <= 47.25)) {
        error = "--gain: the gain must be 0 to -47.25 dB, not " + number;
        return false;
    }
    gain.db = value > 0.0 ? -value : value;
    return true;
}

bool applyControls(const ListenerControls &controls, velk_song *song, std::string &missing, std::string &error)
{
    const std::uint32_t muted = mutedVoices(controls, song, missing);
    for (const VoiceGain &gain : controls.gains) {
        const std::uint32_t voices = voiceMask(gain.voices, song, missing);
        for (int v = 0; v < VELK_MAX_VOICES; ++v)
            if ((voices >> v & 1u) && velk_set_voice_gain(song, v, gain.db) != VELK_OK) {
                error = velk_error_message(song);
                return false;
            }
    }
    if ((muted != 0 && velk_set_muted_voices(song, muted) != VELK_OK) ||
        (controls.tempo != 1.0 && velk_set_tempo(song, controls.tempo) != VELK_OK) ||
        (controls.transpose != 0 && velk_set_transpose(song, controls.transpose) != VELK_OK)) {
        error = velk_error_message(song);
        return false;
    }
    return true;
}

bool parseTempo(const std::string &text, double &tempo, std::string &error)
{
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= 0.25 && value <= 4.0)) {
        error = "--tempo must be 0.25 to 4 (1 is the song's own), not " + text;
        return false;
    }
    tempo = value;
    return true;
}

bool parseTranspose(const std::string &text, int &semitones, std::string &error)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < -12 || value > 12) {
        error = "--transpose must be -12 to 12 semitones, not " + text;
        return false;
    }
    semitones = static_cast<int>(value);
    return true;
}

} // namespace velk::render
