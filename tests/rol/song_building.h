// Songs, banks and a recording chip for the engine's tests.
#pragma once

#include <string>
#include <vector>

#include "common/bytes.h"
#include "rol/rol_player.h"
#include "rol/rol_song.h"
#include "rol/rol_writer.h"
#include "tests/rol/memory_files.h"
#include "tests/rol/recording_opl.h"
#include "tools/bankmaker/bank_writer.h"

namespace velk::test {

// A song with 11 empty voices (percussive) or 9 (melodic), 120 beats per
// minute at 4 ticks per beat: 8 ticks per second.
inline rol::Song emptySong(std::uint8_t mode = rol::modeMelodic)
{
    rol::Song song;
    song.mode = mode;
    song.ticksPerBeat = 4;
    song.basicTempo = 120.0f;
    song.voices.resize(mode == rol::modePercussive ? rol::percussiveVoices : rol::melodicVoices);
    return song;
}

inline rol::TimbreEvent timbreAt(int time, const std::string &name)
{
    rol::TimbreEvent event{};
    event.time = static_cast<std::int16_t>(time);
    for (std::size_t i = 0; i < name.size() && i < event.name.size(); ++i)
        event.name[i] = static_cast<std::uint8_t>(name[i]);
    return event;
}

// Notes given as (number, duration) pairs; the time of last note is their sum.
inline void setNotes(rol::Voice &voice, std::vector<rol::NoteRecord> notes)
{
    int sum = 0;
    for (const rol::NoteRecord &n : notes)
        sum += n.duration;
    voice.notes = std::move(notes);
    voice.timeOfLastNote = static_cast<std::int16_t>(sum);
}

// An instrument whose every operator byte is distinct and within its width,
// so that a misplaced value shows.
inline bank::BankInstrument distinctInstrument(const std::string &name, int seed)
{
    bank::BankInstrument in;
    in.name = name;
    const int widths[bank::operatorRecordSize] = {2, 4, 3, 4, 4, 1, 4, 4, 6, 1, 1, 1, 1};
    for (std::size_t f = 0; f < bank::operatorRecordSize; ++f) {
        in.modulator[f] = static_cast<std::uint8_t>((seed + 3 * f + 1) % (1 << widths[f]));
        in.carrier[f] = static_cast<std::uint8_t>((seed + 5 * f + 2) % (1 << widths[f]));
    }
    in.modulatorWave = static_cast<std::uint8_t>(seed % 4);
    in.carrierWave = static_cast<std::uint8_t>((seed + 1) % 4);
    return in;
}

// A player on a recording chip over songs and banks held in memory.
struct PlayerRig {
    RecordingOpl opl;
    MemoryFiles files;
    RolPlayer player{&opl};

    bool load(const rol::Song &song, const Bytes &bank)
    {
        files.add("song.rol", rol::writeSong(song));
        files.add("song.bnk", bank);
        return loadFile("song.rol", "song.bnk");
    }
    bool loadFile(const std::string &song, const std::string &bank)
    {
        binistream *stream = files.open(song);
        if (!stream)
            return false;
        const bool ok = player.loadSong(*stream, bank, files);
        files.close(stream);
        return ok;
    }
    // The writes of each of the next `ticks` updates.
    std::vector<std::vector<RegisterWrite>> play(int ticks)
    {
        opl.take();
        std::vector<std::vector<RegisterWrite>> out;
        for (int t = 0; t < ticks; ++t) {
            player.update();
            out.push_back(opl.take());
        }
        return out;
    }
};

} // namespace velk::test
