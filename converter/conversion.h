// The conversion of an IMS song into a ROL song, as a library function: the
// program ruz2avu is a command line around it.
//
// Two passes over the event stream: the first finds the time unit (the
// smallest delay), counts the list entries and validates the voices; the
// second gives every event its tick and sorts it into per-voice lists, which
// become the tracks of the ROL song.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "converter/ims_song.h"
#include "rol/rol_song.h"

namespace velk::converter {

// Ticks per beat asked for with /t: 0 means "as the song's smallest delay
// gives", 1 to 240 fix it.
constexpr int maxTicksPerBeatOption = 240;

// Every list of the ROL song carries int16 counts and times.
constexpr std::size_t maxListEntries = 32767;
constexpr std::uint32_t maxTick = 32767;

enum class Outcome {
    converted,
    unreadable,    // too short for its header, music data or name table
    badVoice,      // a status with voice 11 to 15
    beyondLimits,  // /t out of range, a list or a time beyond what ROL holds
};

struct ConversionResult {
    Outcome outcome = Outcome::unreadable;
    std::string reason;  // one line saying why, for every refusal
    rol::Song song;      // the ROL song as plain data, when converted
    Bytes rol;           // its file bytes, when converted
    unsigned timeUnit = 0;  // delay units per tick, when converted

    bool converted() const { return outcome == Outcome::converted; }
};

// Converts the bytes of an IMS song file. `ticksPerBeatOption` is the /t
// value (0 = none).
ConversionResult convertImsToRol(const std::uint8_t *ims, std::size_t size, int ticksPerBeatOption = 0);

// The ticks an event's delay adds, with `timeUnit` delay units to a tick:
// what puts each event of the song on its tick.
std::uint64_t delayTicks(const ims::Event &event, unsigned timeUnit);

inline ConversionResult convertImsToRol(const Bytes &ims, int ticksPerBeatOption = 0)
{
    return convertImsToRol(ims.data(), ims.size(), ticksPerBeatOption);
}

} // namespace velk::converter
