// A short IMS song and the banks it plays with, for the IMS player's tests.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk::test {

inline std::string bytesToString(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// A short melodic song naming one instrument; its title is Johab "ga" then `tail`.
inline std::string makeSong(const std::string &tail = "song")
{
    ims::SongSource song;
    song.title = "\x88\x61" + tail;
    song.rhythmMode = 0;
    song.instruments = {"piano1"};
    song.events = {ims::instrument(0, 0), ims::noteOn(0, 60, 100).after(240), ims::noteOn(0, 60, 0).after(240)};
    return bytesToString(ims::writeSong(song));
}

// The title makeSong(tail) shows: "ga" in EUC-KR, then `tail`.
inline std::string titleOf(const std::string &tail = "song") { return "\xB0\xA1" + tail; }

// A bank holding piano1; `mark` goes into its voice-number byte so that a
// test can tell the banks apart.
inline std::string makeBank(std::uint8_t mark)
{
    bank::BankInstrument piano;
    piano.name = "piano1";
    piano.voiceNumber = mark;
    piano.modulator[bank::frequencyMultiplier] = 1;
    piano.carrier[bank::attackRate] = 15;
    return bytesToString(bank::writeBank({piano}));
}

} // namespace velk::test
