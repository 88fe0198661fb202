#include "tests/converter/rol_check.h"

#include <gtest/gtest.h>

#include "rol/rol_writer.h"

namespace velk::test {
namespace {

struct Cursor {
    const Bytes &bytes;
    std::size_t at = 0;
    bool short_ = false;

    const std::uint8_t *take(std::size_t n)
    {
        static const std::uint8_t none[16] = {};
        if (bytes.size() - at < n) {
            short_ = true;
            return none;
        }
        at += n;
        return &bytes[at - n];
    }
    std::int16_t i16() { return getI16(take(2)); }
    float f32() { return getF32(take(4)); }
};

} // namespace

std::optional<rol::Song> readRol(const Bytes &rol, std::string &why)
{
    Cursor c{rol};
    rol::Song song;
    const std::uint8_t *h = c.take(rol::header::size);
    if (c.short_)
        return why = "no header", std::nullopt;
    song.ticksPerBeat = static_cast<std::uint16_t>(getU16(h + rol::header::ticksPerBeat));
    song.beatsPerMeasure = getI16(h + rol::header::beatsPerMeasure);
    song.editScaleY = getI16(h + rol::header::editScaleY);
    song.editScaleX = getI16(h + rol::header::editScaleX);
    song.mode = h[rol::header::mode];
    song.basicTempo = getF32(h + rol::header::basicTempo);
    std::copy_n(h + rol::converterArea::title, song.title.size(), song.title.begin());

    auto count = [&](const char *what) {
        std::int16_t n = c.i16();
        if (n < 0)
            why = std::string("negative ") + what + " count";
        return n < 0 ? 0 : n;
    };
    for (int n = count("tempo"); n > 0; --n) {
        std::int16_t t = c.i16();
        song.tempo.push_back({t, c.f32()});
    }
    song.voices.resize(rol::percussiveVoices);
    for (rol::Voice &v : song.voices) {
        c.take(rol::trackNameSize);
        v.timeOfLastNote = c.i16();
        if (v.timeOfLastNote < 0)
            why = "negative time of last note";
        for (int sum = 0; v.timeOfLastNote > 0 && sum < v.timeOfLastNote && !c.short_;) {
            std::int16_t note = c.i16();
            std::int16_t duration = c.i16();
            sum += duration;
            v.notes.push_back({note, duration});
            if (sum > v.timeOfLastNote)
                why = "note durations pass the time of last note";
        }
        c.take(rol::trackNameSize);
        for (int n = count("timbre"); n > 0; --n) {
            rol::TimbreEvent e{c.i16(), {}, 0};
            std::copy_n(c.take(rol::instrumentNameSize), rol::instrumentNameSize, e.name.begin());
            c.take(1);
            e.reserved = static_cast<std::uint16_t>(c.i16());
            v.timbres.push_back(e);
        }
        c.take(rol::trackNameSize);
        for (int n = count("volume"); n > 0; --n) {
            std::int16_t t = c.i16();
            v.volumes.push_back({t, c.f32()});
        }
        c.take(rol::trackNameSize);
        for (int n = count("pitch"); n > 0; --n) {
            std::int16_t t = c.i16();
            v.pitches.push_back({t, c.f32()});
        }
    }
    if (c.short_)
        why = "the bytes run out";
    else if (c.at != rol.size())
        why = std::to_string(rol.size() - c.at) + " bytes left over";
    if (!why.empty())
        return std::nullopt;
    return song;
}

void expectWellFormedRol(const Bytes &rol)
{
    std::string why;
    std::optional<rol::Song> song = readRol(rol, why);
    ASSERT_TRUE(song) << why;
    auto ascending = [](const auto &events, const char *what) {
        int previous = 0;
        for (const auto &e : events) {
            EXPECT_GE(e.time, previous) << what << " times descend";
            previous = e.time;
        }
    };
    ascending(song->tempo, "tempo");
    for (const rol::Voice &v : song->voices) {
        int sum = 0;
        for (const rol::NoteRecord &n : v.notes)
            sum += n.duration;
        EXPECT_EQ(sum, v.timeOfLastNote);
        if (!v.notes.empty()) {
            EXPECT_GT(v.notes.back().duration, 0) << "a record that could never sound";
        }
        ascending(v.timbres, "timbre");
        ascending(v.volumes, "volume");
        ascending(v.pitches, "pitch");
    }
    EXPECT_EQ(rol::writeSong(*song), rol) << "read back, the song writes other bytes";
}

} // namespace velk::test
