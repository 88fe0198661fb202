#include "converter/conversion.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "converter/ims_song.h"
#include "rol/rol_writer.h"

namespace velk::converter {
namespace {

using ims::EventKind;
using ims::EventReader;

// One (time, value) entry of a list. Times are kept wide so that a song
// running past the int16 range is noticed, not wrapped.
struct Entry {
    std::uint64_t time;
    std::uint16_t value;
};

enum ListKind { notes, timbres, volumes, pitches, listKinds };
constexpr const char *listNames[listKinds] = {"note", "instrument", "volume", "pitch bend"};

struct VoiceLists {
    std::array<std::vector<Entry>, listKinds> lists;
    std::vector<Entry> &operator[](ListKind k) { return lists[k]; }
    const std::vector<Entry> &operator[](ListKind k) const { return lists[k]; }
};

struct Lists {
    std::array<VoiceLists, ims::voiceCount> voices;
    std::vector<Entry> tempo;
};

struct Scan {
    bool badVoice = false;
    unsigned timeUnit = ims::unitsPerBeat;  // delay units per ROL tick
    std::array<std::array<std::size_t, listKinds>, ims::voiceCount> counts{};
    std::size_t tempoCount = 0;
};

ConversionResult refuse(Outcome outcome, std::string reason)
{
    ConversionResult r;
    r.outcome = outcome;
    r.reason = std::move(reason);
    return r;
}

// The first pass: validates the voices, finds the smallest non-zero final
// delay byte and counts what the second pass will append. Ticks are not
// known yet, so a leading rest is counted whenever any delay came before; the
// counts may exceed what is appended, never fall short.
Scan scan(const std::vector<std::uint8_t> &music)
{
    Scan s;
    std::array<bool, ims::voiceCount> hasVolume{};
    std::array<std::uint8_t, ims::voiceCount> lastVolume{};
    std::uint64_t unitsSoFar = 0;
    auto noteVolume = [&](int v, std::uint8_t w, bool firstAlways) {
        if ((firstAlways && !hasVolume[v]) || (w != 0 && (!hasVolume[v] || lastVolume[v] != w))) {
            ++s.counts[v][volumes];
            hasVolume[v] = true;
            lastVolume[v] = w;
        }
    };

    EventReader reader(music);
    ims::Event e;
    for (;;) {
        EventReader::Step step = reader.next(e);
        if (step == EventReader::Step::badVoice) {
            s.badVoice = true;
            return s;
        }
        if (step == EventReader::Step::end)
            return s;
        auto &c = s.counts[e.voice];
        switch (e.kind) {
        case EventKind::noteOn:
        case EventKind::noteOff:
            if (unitsSoFar != 0 && c[notes] == 0)
                ++c[notes];
            ++c[notes];
            noteVolume(e.voice, e.velocity(), e.kind == EventKind::noteOn);
            break;
        case EventKind::volume:
            ++c[volumes];
            hasVolume[e.voice] = true;
            lastVolume[e.voice] = e.value();
            break;
        case EventKind::instrument: ++c[timbres]; break;
        case EventKind::pitchBend: ++c[pitches]; break;
        case EventKind::tempo: ++s.tempoCount; break;
        default: break;
        }
        unitsSoFar += e.delayUnits();
        if (e.finalDelay != 0 && e.finalDelay < s.timeUnit)
            s.timeUnit = e.finalDelay;
    }
}

// The second pass: every event at its tick, sorted into the lists.
Lists build(const std::vector<std::uint8_t> &music, const Scan &s, unsigned timeUnit)
{
    Lists lists;
    for (int v = 0; v < ims::voiceCount; ++v)
        for (int k = 0; k < listKinds; ++k)
            lists.voices[v].lists[k].reserve(s.counts[v][k]);
    lists.tempo.reserve(s.tempoCount);

    std::uint64_t t = 0;
    EventReader reader(music);
    ims::Event e;
    while (reader.next(e) == EventReader::Step::event) {
        VoiceLists &voice = lists.voices[e.voice];
        switch (e.kind) {
        case EventKind::noteOn:
        case EventKind::noteOff: {
            const std::uint8_t w = e.velocity();
            auto &noteList = voice[notes];
            auto &volumeList = voice[volumes];
            if (t != 0 && noteList.empty())
                noteList.push_back({0, 0});
            noteList.push_back({t, static_cast<std::uint16_t>(w == 0 ? 0 : e.key())});
            // A note-on always gives a silent voice its first level; a
            // note-off only brings a level of its own.
            const bool first = volumeList.empty();
            if ((e.kind == EventKind::noteOn && first) || (w != 0 && (first || volumeList.back().value != w)))
                volumeList.push_back({t, w});
            break;
        }
        case EventKind::volume: voice[volumes].push_back({t, e.value()}); break;
        case EventKind::instrument: voice[timbres].push_back({t, e.value()}); break;
        case EventKind::pitchBend: voice[pitches].push_back({t, static_cast<std::uint16_t>(e.pitchBend())}); break;
        case EventKind::tempo:
            lists.tempo.push_back({t, static_cast<std::uint16_t>(e.tempoInteger() * 100u + e.tempoFraction() * 100u / 128u)});
            break;
        default: break;
        }
        t += delayTicks(e, timeUnit);
    }
    return lists;
}

// The note list's last entry only marks where the voice ends. Entries at that
// same tick could never sound, and as zero-length records after the sum is
// reached they would be read as the next track's bytes: they are dropped.
std::uint64_t closeNotes(std::vector<Entry> &noteList)
{
    if (noteList.empty())
        return 0;
    const std::uint64_t timeOfLastNote = noteList.back().time;
    while (!noteList.empty() && noteList.back().time == timeOfLastNote)
        noteList.pop_back();
    return timeOfLastNote;
}

std::optional<std::string> beyondLimits(const Lists &lists, const std::array<std::uint64_t, ims::voiceCount> &lastNotes)
{
    std::uint64_t latest = 0;
    auto consider = [&](const std::vector<Entry> &list) {
        if (!list.empty())
            latest = std::max(latest, list.back().time);
    };
    if (lists.tempo.size() > maxListEntries)
        return "it has " + std::to_string(lists.tempo.size()) + " tempo events, a ROL song holds at most " +
               std::to_string(maxListEntries);
    consider(lists.tempo);
    for (int v = 0; v < ims::voiceCount; ++v) {
        for (int k = 0; k < listKinds; ++k) {
            const auto &list = lists.voices[v].lists[k];
            if (list.size() > maxListEntries)
                return "voice " + std::to_string(v) + " has " + std::to_string(list.size()) + " " + listNames[k] +
                       " events, a ROL song holds at most " + std::to_string(maxListEntries);
            consider(list);
        }
        latest = std::max(latest, lastNotes[v]);
    }
    if (latest > maxTick)
        return "it runs to tick " + std::to_string(latest) + ", a ROL song ends by tick " + std::to_string(maxTick);
    return std::nullopt;
}

rol::Song makeRolSong(const ims::Song &ims, unsigned timeUnit, const Lists &lists,
                      const std::array<std::uint64_t, ims::voiceCount> &lastNotes)
{
    rol::Song song;
    song.ticksPerBeat = static_cast<std::uint16_t>(ims::unitsPerBeat / timeUnit);
    song.beatsPerMeasure = ims.header.beatsPerMeasure;
    song.editScaleY = 48;
    song.editScaleX = 56;
    song.mode = ims.header.rhythmMode == 0 ? rol::modeMelodic : rol::modePercussive;
    song.basicTempo = static_cast<float>(ims.header.basicTempo);
    song.title = ims.header.title;

    auto tick = [](std::uint64_t t) { return static_cast<std::int16_t>(t); };  // checked to be within int16
    for (const Entry &e : lists.tempo)
        song.tempo.push_back({tick(e.time), static_cast<float>(e.value) / 100.0f});

    song.voices.resize(ims::voiceCount);
    for (int v = 0; v < ims::voiceCount; ++v) {
        const VoiceLists &in = lists.voices[v];
        rol::Voice &out = song.voices[v];
        out.timeOfLastNote = tick(lastNotes[v]);
        const auto &noteList = in[notes];
        out.notes.reserve(noteList.size());
        for (std::size_t i = 0; i < noteList.size(); ++i) {
            const std::uint64_t end = i + 1 < noteList.size() ? noteList[i + 1].time : lastNotes[v];
            out.notes.push_back({static_cast<std::int16_t>(noteList[i].value), tick(end - noteList[i].time)});
        }
        out.timbres.reserve(in[timbres].size());
        for (const Entry &e : in[timbres]) {
            rol::TimbreEvent timbre{tick(e.time), {}, e.value};
            // An index past the name table has no name: nine zero bytes.
            if (e.value < ims.instruments.size())
                timbre.name = ims.instruments[e.value];
            out.timbres.push_back(timbre);
        }
        out.volumes.reserve(in[volumes].size());
        for (const Entry &e : in[volumes])
            out.volumes.push_back({tick(e.time), static_cast<float>(e.value) / 127.0f});
        out.pitches.reserve(in[pitches].size());
        for (const Entry &e : in[pitches])
            out.pitches.push_back({tick(e.time), static_cast<float>(e.value) / 16384.0f});
    }
    return song;
}

} // namespace

std::uint64_t delayTicks(const ims::Event &event, unsigned timeUnit)
{
    // Truncated byte by byte: three delays of 30 with a unit of 20 add 3 ticks.
    return event.wholeBeats * std::uint64_t{ims::unitsPerBeat / timeUnit} + event.finalDelay / timeUnit;
}

ConversionResult convertImsToRol(const std::uint8_t *data, std::size_t size, int ticksPerBeatOption)
{
    if (ticksPerBeatOption < 0 || ticksPerBeatOption > maxTicksPerBeatOption)
        return refuse(Outcome::beyondLimits, "Ticks per Beat must be 0 to " + std::to_string(maxTicksPerBeatOption) +
                                                 ", not " + std::to_string(ticksPerBeatOption));

    std::optional<ims::Song> ims = ims::readSong(data, size);
    if (!ims)
        return refuse(Outcome::unreadable, "the file is too short for its header, music data or instrument names");

    const Scan s = scan(ims->music);
    if (s.badVoice)
        return refuse(Outcome::badVoice, "a status byte names a voice above 10");

    const unsigned timeUnit = ticksPerBeatOption != 0 ? ims::unitsPerBeat / ticksPerBeatOption : s.timeUnit;
    Lists lists = build(ims->music, s, timeUnit);

    std::array<std::uint64_t, ims::voiceCount> lastNotes{};
    for (int v = 0; v < ims::voiceCount; ++v)
        lastNotes[v] = closeNotes(lists.voices[v][notes]);
    if (std::optional<std::string> why = beyondLimits(lists, lastNotes))
        return refuse(Outcome::beyondLimits, *why);

    ConversionResult result;
    result.outcome = Outcome::converted;
    result.timeUnit = timeUnit;
    result.song = makeRolSong(*ims, timeUnit, lists, lastNotes);
    result.rol = rol::writeSong(result.song);
    return result;
}

} // namespace velk::converter
