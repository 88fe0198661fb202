#include "tools/imsmaker/song_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

#include "converter/ims_song.h"

namespace velk::ims {
namespace {

struct Timed {
    std::uint64_t time;  // in delay units
    int rank;            // tempo before the voices' events at one time
    std::size_t sequence;
    SongEvent event;
};

struct VoiceState {
    std::uint64_t cursor = 0;
    int velocity = 100;
    int sounding = -1;  // key, or -1
    int instrument = -1;
};

struct Failure {
    std::string message;
};

std::vector<std::string> words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

long number(const std::string &text, long low, long high, const char *what)
{
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (...) {
        used = 0;
    }
    if (used != text.size() || text.empty())
        throw Failure{std::string(what) + " must be a number, not \"" + text + "\""};
    if (value < low || value > high)
        throw Failure{std::string(what) + " must be " + std::to_string(low) + " to " + std::to_string(high)};
    return value;
}

double decimal(const std::string &text, const char *what)
{
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (...) {
        used = 0;
    }
    if (used != text.size() || text.empty() || !std::isfinite(value))
        throw Failure{std::string(what) + " must be a number, not \"" + text + "\""};
    return value;
}

// "c4" is key 60; "#" raises and "b" lowers by a semitone. Nothing when
// `text` is not a note name.
std::optional<int> noteKey(const std::string &text)
{
    static const int semitones[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (text.size() < 2 || text[0] < 'a' || text[0] > 'g')
        return std::nullopt;
    int key = semitones[text[0] - 'a'];
    std::size_t i = 1;
    if (text.size() == 3 && (text[1] == '#' || text[1] == 'b')) {
        key += text[1] == '#' ? 1 : -1;
        i = 2;
    }
    if (i + 1 != text.size() || text[i] < '0' || text[i] > '9')
        return std::nullopt;
    key += 12 * (text[i] - '0' + 1);
    if (key < 0 || key > 127)
        return std::nullopt;
    return key;
}

// A comment starts with "#" at the start of a line or after a blank; the
// "#" of a sharp (f#3) belongs to its note.
std::size_t commentStart(const std::string &line)
{
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return i;
    return line.size();
}

class Parser {
public:
    SongSource song;

    void line(const std::string &raw)
    {
        const std::string text = raw.substr(0, commentStart(raw));
        std::vector<std::string> w = words(text);
        if (w.empty())
            return;
        const std::string &key = w[0];
        if (key == "title") {
            const std::size_t at = text.find("title") + 5;
            const std::size_t from = text.find_first_not_of(" \t", at);
            song.title = from == std::string::npos ? "" : text.substr(from, text.find_last_not_of(" \t\r") + 1 - from);
            if (song.title.size() > titleSize)
                throw Failure{"a title holds at most 30 bytes"};
        } else if (key == "tempo") {
            expect(w, 2);
            song.basicTempo = static_cast<std::int16_t>(number(w[1], 1, 32767, "the tempo"));
        } else if (key == "beats") {
            expect(w, 2);
            song.beatsPerMeasure = static_cast<std::uint8_t>(number(w[1], 1, 255, "beats per measure"));
        } else if (key == "rhythm") {
            expect(w, 2);
            if (w[1] != "on" && w[1] != "off")
                throw Failure{"rhythm is on or off"};
            song.rhythmMode = w[1] == "on" ? 1 : 0;
        } else if (key == "step") {
            expect(w, 2);
            step_ = static_cast<std::uint64_t>(number(w[1], 1, 240 * 64, "a step"));
        } else if (key == "speed") {
            expect(w, 3);
            speed(decimal(w[1], "the beat"), decimal(w[2], "the speed"));
        } else if (key == "voice") {
            voice(w);
        } else {
            steps(w);
        }
    }

    // Releases what still sounds and lays the events out in time.
    void finish()
    {
        for (int v = 0; v < voiceCount; ++v)
            if (voices_[v].sounding >= 0)
                add(v, noteOff(v, voices_[v].sounding, 0));
        std::stable_sort(timed_.begin(), timed_.end(), [](const Timed &a, const Timed &b) {
            return a.time != b.time ? a.time < b.time : a.rank != b.rank ? a.rank < b.rank : a.sequence < b.sequence;
        });
        // A song whose first event comes late starts with status-less records:
        // bytes below 0x80 that are only delays.
        std::uint64_t lead = timed_.empty() ? 0 : timed_.front().time;
        for (; lead > 0; lead -= std::min<std::uint64_t>(lead, 0x7F))
            song.events.push_back(leadingDelay(static_cast<std::uint8_t>(std::min<std::uint64_t>(lead, 0x7F))));
        for (std::size_t i = 0; i < timed_.size(); ++i) {
            SongEvent e = timed_[i].event;
            if (i + 1 < timed_.size())
                e.after(timed_[i + 1].time - timed_[i].time);
            song.events.push_back(e);
        }
    }

private:
    std::uint64_t step_ = 120;
    int voice_ = -1;
    std::array<VoiceState, voiceCount> voices_{};
    std::vector<Timed> timed_;

    static void expect(const std::vector<std::string> &w, std::size_t n)
    {
        if (w.size() != n)
            throw Failure{"\"" + w[0] + "\" takes " + std::to_string(n - 1) + " value(s)"};
    }

    void add(int v, SongEvent e, int rank = 1)
    {
        timed_.push_back({v < 0 ? 0 : voices_[v].cursor, rank, timed_.size(), std::move(e)});
    }

    int instrumentIndex(const std::string &name)
    {
        if (name.empty() || name.size() > 8)
            throw Failure{"an instrument name has 1 to 8 characters"};
        auto found = std::find(song.instruments.begin(), song.instruments.end(), name);
        if (found != song.instruments.end())
            return static_cast<int>(found - song.instruments.begin());
        if (song.instruments.size() == 256)
            throw Failure{"a song names at most 256 instruments"};
        song.instruments.push_back(name);
        return static_cast<int>(song.instruments.size() - 1);
    }

    void setInstrument(int v, const std::string &name)
    {
        const int index = instrumentIndex(name);
        if (voices_[v].instrument != index)
            add(v, instrument(v, index));
        voices_[v].instrument = index;
    }

    void speed(double beat, double factor)
    {
        if (beat < 0 || factor < 0 || factor >= 256)
            throw Failure{"speed takes a beat from 0 on and a factor below 256"};
        int whole = static_cast<int>(factor);
        int fraction = static_cast<int>(std::lround((factor - whole) * 128));
        if (fraction == 128)
            whole += 1, fraction = 0;
        timed_.push_back({static_cast<std::uint64_t>(std::llround(beat * unitsPerBeat)), 0, timed_.size(),
                          tempo(whole, fraction)});
    }

    void voice(const std::vector<std::string> &w)
    {
        if (w.size() < 2 || w.size() > 4)
            throw Failure{"voice takes a number, and an instrument and a velocity if wanted"};
        voice_ = static_cast<int>(number(w[1], 0, voiceCount - 1, "a voice"));
        if (w.size() >= 3)
            setInstrument(voice_, w[2]);
        if (w.size() == 4)
            voices_[voice_].velocity = static_cast<int>(number(w[3], 1, 127, "a velocity"));
    }

    void steps(const std::vector<std::string> &w)
    {
        if (voice_ < 0)
            throw Failure{"steps come after a \"voice\" line"};
        std::size_t first = 0;
        long repeat = 1;
        const std::string &lead = w[0];
        if (lead.size() >= 3 && lead.compare(lead.size() - 2, 2, "x:") == 0) {
            repeat = number(lead.substr(0, lead.size() - 2), 1, 1000, "a repeat count");
            first = 1;
        }
        for (long r = 0; r < repeat; ++r)
            for (std::size_t i = first; i < w.size(); ++i)
                token(w[i]);
    }

    void token(const std::string &t)
    {
        VoiceState &v = voices_[voice_];
        if (t == "|")
            return;
        if (t[0] == 'v' && t.size() > 1) {
            v.velocity = static_cast<int>(number(t.substr(1), 1, 127, "a velocity"));
            return;
        }
        if (t[0] == '@') {
            setInstrument(voice_, t.substr(1));
            return;
        }
        if (t[0] == '~' && t.size() > 1) {
            add(voice_, volume(voice_, static_cast<int>(number(t.substr(1), 0, 127, "a volume"))));
            return;
        }
        if (t == "-") {
            if (v.sounding >= 0)
                add(voice_, noteOff(voice_, v.sounding, 0));
            v.sounding = -1;
        } else if (std::optional<int> key = noteKey(t)) {
            // A new note-on restarts the voice by itself: a release first
            // would leave a zero-length rest, which plays as one tick.
            add(voice_, noteOn(voice_, *key, v.velocity));
            v.sounding = *key;
        } else if (t != ".") {
            throw Failure{"\"" + t + "\" is neither a note (c4, f#3, bb2), \".\", \"-\", \"|\", v<velocity>, @<instrument> nor ~<volume>"};
        }
        v.cursor += step_;
    }
};

} // namespace

std::optional<SongSource> parseSongText(const std::string &text, SongTextError &error)
{
    Parser parser;
    std::istringstream in(text);
    int number = 0;
    try {
        for (std::string line; std::getline(in, line);) {
            ++number;
            parser.line(line);
        }
        parser.finish();
    } catch (const Failure &f) {
        error = {number, f.message};
        return std::nullopt;
    }
    return parser.song;
}

} // namespace velk::ims
