#include "tests/libvelk/song_generator.h"

#include <algorithm>
#include <random>
#include <sstream>

#include "tools/bankmaker/bank_text.h"
#include "tools/imsmaker/ims_writer.h"
#include "tools/imsmaker/song_text.h"

namespace velk::test {
namespace {

// 1/4 beat per step; the song's tempo sets how long that is.
constexpr int stepUnits = 60;

class Maker {
public:
    explicit Maker(std::uint32_t seed) : rng_(seed) {}

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    template <typename T> T pick(std::initializer_list<T> list)
    {
        return *(list.begin() + between(0, static_cast<int>(list.size()) - 1));
    }

    // A rate that leans to the slow end, where the chip's past matters most.
    int slowRate() { return pick({0, 1, 1, 2, 2, 3, 4, 5, 6, 8, 10, 13}); }

    std::string operatorLine(bool modulator, bool drum)
    {
        std::ostringstream o;
        o << (modulator ? "  modulator" : "  carrier  ") << " multiplier=" << pick({0, 1, 1, 2, 3, 4})
          << " attack=" << pick({15, 15, 14, 12, 10, 8, 6, 4, 2, 1}) << " decay=" << slowRate()
          << " sustain=" << between(0, 15) << " release=" << (drum ? between(3, 10) : slowRate())
          << " sustaining=" << (chance(0.5) ? 1 : 0) << " ksr=" << (chance(0.5) ? 1 : 0)
          << " ksl=" << between(0, 3);
        if (modulator)
            o << " level=" << (drum ? 0 : between(16, 63)) << " feedback=" << between(0, 7)
              << " fm=" << (chance(0.75) ? 1 : 0);
        if (chance(0.15))
            o << " tremolo=1";
        if (chance(0.15))
            o << " vibrato=1";
        if (chance(0.25))
            o << " wave=" << between(1, 3);
        o << "\n";
        return o.str();
    }

    std::string instrument(const std::string &name, bool drum)
    {
        return "instrument " + name + "\n" + operatorLine(true, drum) + operatorLine(false, drum);
    }

    std::mt19937 rng_;
};

const char *noteNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

std::string noteName(int key) { return std::string(noteNames[key % 12]) + std::to_string(key / 12 - 1); }

// The steps of one voice, written as lines of at most a few dozen tokens,
// with long holds and rests as repeated lines.
class VoiceLines {
public:
    void token(const std::string &t)
    {
        line_ += " " + t;
        if (t[0] != '~' && t[0] != '@' && t[0] != 'v')  // volume, instrument and velocity take no step
            ++steps_;
        if (line_.size() > 60)
            flush();
    }
    // `count` steps of "." (a hold of what sounds, or of the silence).
    void hold(int count)
    {
        if (count <= 0)
            return;
        flush();
        if (count >= 8) {
            out_ << "  " << count / 8 << "x: . . . . . . . .\n";
            steps_ += count / 8 * 8;
            count %= 8;
        }
        for (int i = 0; i < count; ++i)
            token(".");
    }
    void flush()
    {
        if (!line_.empty())
            out_ << " " << line_ << "\n";
        line_.clear();
    }
    int steps() const { return steps_; }
    std::string text()
    {
        flush();
        return out_.str();
    }

private:
    std::ostringstream out_;
    std::string line_;
    int steps_ = 0;
};

} // namespace

MadeSong generateSong(std::uint32_t seed, bool small)
{
    Maker m(seed * 2654435761u + 12345u);
    MadeSong song;
    song.name = "seed " + std::to_string(seed);
    const bool rhythm = m.chance(0.35);
    const int tempo = m.between(60, 170);
    const double stepMs = 60000.0 / tempo / (240.0 / stepUnits);
    const int lengthSteps = static_cast<int>((small ? m.between(20, 60) : m.between(35, 95)) * 1000.0 / stepMs);
    const int longest = small ? 30000 : 60000;

    const int melodicInstruments = m.between(3, 7);
    for (int i = 0; i < melodicInstruments; ++i)
        song.bankText += m.instrument("mel" + std::to_string(i), false);
    if (rhythm)
        for (const char *d : {"bd", "sd", "tom", "cym", "hh"})
            song.bankText += m.instrument(d, true);

    std::ostringstream text;
    text << "title  made " << seed << "\ntempo  " << tempo << "\nbeats  4\nrhythm " << (rhythm ? "on" : "off")
         << "\nstep   " << stepUnits << "\n";
    for (int changes = m.between(0, 3); changes > 0; --changes)
        text << "speed  " << m.between(4, lengthSteps / 4) << " " << m.pick({0.5, 0.75, 1.0, 1.25, 1.5, 2.0}) << "\n";

    const int melodic = rhythm ? 6 : 9;
    // A few voices play, on voices of the chip chosen at random (each voice
    // alone is compared, so every one more costs a whole render).
    std::vector<int> order(static_cast<std::size_t>(melodic));
    for (int v = 0; v < melodic; ++v)
        order[static_cast<std::size_t>(v)] = v;
    std::shuffle(order.begin(), order.end(), m.rng_);
    order.resize(static_cast<std::size_t>(small ? m.between(1, 3) : m.between(2, 5)));
    std::sort(order.begin(), order.end());
    // One voice keeps a minute's silence (small songs: 20 s) before its
    // last notes, when the song is long enough for it.
    const int quietVoice = order[static_cast<std::size_t>(m.between(0, static_cast<int>(order.size()) - 1))];
    const int silence = static_cast<int>((small ? 20000.0 : 60000.0) / stepMs);
    for (int v : order) {
        VoiceLines lines;
        text << "voice " << v << " mel" << m.between(0, melodicInstruments - 1) << " " << m.between(60, 127) << "\n";
        const int base = m.between(36, 76);
        auto key = [&] { return noteName(std::clamp(base + m.between(-7, 12), 24, 96)); };
        auto stepsOf = [&](double ms) { return std::max(1, static_cast<int>(ms / stepMs)); };
        if (v == quietVoice && lengthSteps > silence + stepsOf(12000)) {
            // A long note with its release, a minute of nothing, then notes
            // again towards the end.
            lines.token(key());
            lines.hold(stepsOf(m.between(2000, 8000)));
            lines.token("-");
            lines.hold(silence + stepsOf(m.between(0, 3000)));
        }
        while (lines.steps() < lengthSteps) {
            switch (m.between(0, 5)) {
            case 0:  // a rest, sometimes long
                lines.token("-");
                lines.hold(stepsOf(m.chance(0.3) ? m.between(5000, 30000) : m.between(200, 3000)));
                break;
            case 1:  // a note held 5 to 60 s, sometimes with its volume moved
                lines.token(key());
                for (int held = stepsOf(m.between(5000, longest)); held > 0;) {
                    const int part = std::min(held, stepsOf(m.between(1000, 8000)));
                    lines.hold(part);
                    held -= part;
                    if (held > 0 && m.chance(0.4))
                        lines.token("~" + std::to_string(m.between(20, 127)));
                }
                if (m.chance(0.6))
                    lines.token("-");
                break;
            case 2:  // a legato chain: each note ends where the next begins
                for (int n = m.between(3, 24); n > 0; --n) {
                    lines.token(key());
                    lines.hold(m.between(0, 12));
                }
                break;
            case 3:  // short notes with gaps
                for (int n = m.between(3, 16); n > 0; --n) {
                    lines.token(key());
                    lines.hold(m.between(0, 3));
                    lines.token("-");
                    lines.hold(m.between(0, 4));
                }
                break;
            case 4:  // an instrument change, and a velocity
                lines.token("@mel" + std::to_string(m.between(0, melodicInstruments - 1)));
                lines.token("v" + std::to_string(m.between(30, 127)));
                break;
            default:  // volume changes under a chain
                for (int n = m.between(2, 8); n > 0; --n) {
                    lines.token(key());
                    lines.hold(m.between(2, 10));
                    lines.token("~" + std::to_string(m.between(0, 127)));
                    lines.hold(m.between(1, 10));
                }
                break;
            }
        }
        text << lines.text();
    }
    if (rhythm) {
        const char *drums[5] = {"bd", "sd", "tom", "cym", "hh"};
        int countDrums = 0;
        const int drumCount = m.between(1, small ? 2 : 3);
        for (int d = 0; d < 5; ++d) {
            if (m.between(0, 4 - d) >= drumCount - countDrums)
                continue;
            ++countDrums;
            VoiceLines lines;
            text << "voice " << 6 + d << " " << drums[d] << " " << m.between(70, 127) << "\n";
            const std::string note = noteName(m.between(36, 72));
            const int every = m.pick({2, 4, 4, 8, 16});
            while (lines.steps() < lengthSteps) {
                if (m.chance(0.05)) {
                    lines.token("-");
                    lines.hold(m.between(20, 200));  // the drum rests a while
                    continue;
                }
                lines.token(note);
                if (m.chance(0.5)) {
                    lines.token("-");
                    lines.hold(every - 2);
                } else {
                    lines.hold(every - 1);
                }
            }
            text << lines.text();
        }
    }
    song.songText = text.str();
    return song;
}

std::string caseText(const MadeSong &song)
{
    std::string text = song.bankText + "%%song\n" + song.songText;
    if (!song.targets.empty()) {
        text += "%%targets";
        for (std::int64_t t : song.targets)
            text += " " + std::to_string(t);
        text += "\n";
    }
    return text;
}

std::optional<MadeSong> parseCaseText(const std::string &name, const std::string &text)
{
    const std::size_t songAt = text.find("%%song\n");
    if (songAt == std::string::npos)
        return std::nullopt;
    MadeSong song;
    song.name = name;
    song.bankText = text.substr(0, songAt);
    const std::size_t targetsAt = text.find("%%targets", songAt);
    song.songText = text.substr(songAt + 7, targetsAt == std::string::npos ? std::string::npos : targetsAt - songAt - 7);
    if (targetsAt != std::string::npos) {
        std::istringstream in(text.substr(targetsAt + 9));
        for (std::int64_t t; in >> t;)
            song.targets.push_back(t);
    }
    return song;
}

std::optional<SongBytes> buildSong(const MadeSong &song, std::string &error)
{
    const bank::ParsedBank bank = bank::parseBankText(song.bankText);
    if (!bank.error.empty()) {
        error = song.name + ": bank " + bank.error;
        return std::nullopt;
    }
    ims::SongTextError problem;
    const std::optional<ims::SongSource> source = ims::parseSongText(song.songText, problem);
    if (!source) {
        error = song.name + ": song line " + std::to_string(problem.line) + ": " + problem.message;
        return std::nullopt;
    }
    return SongBytes{ims::writeSong(*source), bank::writeBank(bank.instruments)};
}

} // namespace velk::test
