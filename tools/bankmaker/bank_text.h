// Instrument definitions as text, for banks kept in the repository:
//
//   # a comment
//   instrument piano1 mode=0 voice=0
//     modulator multiplier=1 level=35 attack=15 decay=3 sustain=5 release=4 feedback=3 fm=1
//     carrier   multiplier=1 attack=14 decay=2 sustain=4 release=3 wave=0
//
// Operator fields (all 0 unless given): ksl (0-3), multiplier (0-15),
// feedback (0-7), attack, sustain, decay, release (0-15), sustaining (0-1),
// level (attenuation, 0-63), tremolo, vibrato, ksr, fm (0-1), wave (0-3).
// feedback and fm belong to the modulator; the carrier's are ignored.
#pragma once

#include <string>
#include <vector>

#include "tools/bankmaker/bank_writer.h"

namespace velk::bank {

struct ParsedBank {
    std::vector<BankInstrument> instruments;
    std::string error;  // "line N: ..." when the text is not a bank; empty otherwise
};

ParsedBank parseBankText(const std::string &text);

} // namespace velk::bank
