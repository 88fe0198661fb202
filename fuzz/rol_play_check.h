// Loads ROL song bytes with a bank, both held in memory, into the ROL engine
// on a recording chip, and plays up to a number of ticks, requiring what
// must hold of any song: a failed load keeps nothing, a loaded song's end
// tick is a ROL time, the engine writes only OPL2 registers, its tick rate
// stays within its bounds, and playback ends no later than the end tick.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "fuzz/fuzz_check.h"
#include "rol/rol_player.h"
#include "tests/rol/memory_files.h"
#include "tests/rol/recording_opl.h"

namespace velk::fuzz {

// The registers of the YM3812: the global ones, the operator groups (slots
// 0-5, 8-13 and 16-21 above their base) and the channel groups (0-8).
inline bool isOpl2Register(int reg)
{
    if (reg == 0x01 || reg == 0x02 || reg == 0x03 || reg == 0x04 || reg == 0x08 || reg == 0xBD)
        return true;
    for (int base : {0x20, 0x40, 0x60, 0x80, 0xE0})
        if (reg >= base && reg <= base + 0x15 && ((reg - base) & 7) < 6)
            return true;
    for (int base : {0xA0, 0xB0, 0xC0})
        if (reg >= base && reg <= base + 8)
            return true;
    return false;
}

enum class PlayOutcome { refused, ended, stillPlaying };

inline PlayOutcome loadAndPlayRol(Bytes song, Bytes bank, int maxTicks)
{
    test::RecordingOpl opl;
    test::MemoryFiles files;
    files.add("song.rol", std::move(song));
    files.add("song.bnk", std::move(bank));
    RolPlayer player(&opl);

    binistream *stream = files.open("song.rol");
    const bool loaded = player.loadSong(*stream, "song.bnk", files);
    files.close(stream);
    require(files.closes == files.opens["song.rol"] + files.opens["song.bnk"], "every stream opened is closed");
    if (!loaded) {
        require(player.song().voices.empty() && !player.update(), "a refused song leaves nothing to play");
        return PlayOutcome::refused;
    }

    const int endTick = player.song().endTick;
    require(endTick >= 0 && endTick <= 32767, "the end tick is a ROL time");
    const auto rateInBounds = [&player] {
        const float rate = player.getrefresh();
        return rate >= RolPlayer::minRefresh && rate <= RolPlayer::maxRefresh;
    };
    for (int ticks = 0; ticks < maxTicks; ++ticks) {
        require(rateInBounds(), "the tick rate stays within the engine's bounds");
        const bool more = player.update();
        for (const test::RegisterWrite &w : opl.writes)
            require(isOpl2Register(w.reg) && w.value >= 0 && w.value <= 0xFF,
                    "the engine writes only OPL2 registers and byte values");
        opl.writes.clear();  // keeps its room: no allocation per tick
        if (!more) {
            require(ticks <= endTick, "playback ends within the song's end tick");
            return PlayOutcome::ended;
        }
    }
    require(maxTicks <= endTick, "playback ends within the song's end tick");
    return PlayOutcome::stillPlaying;
}

} // namespace velk::fuzz
