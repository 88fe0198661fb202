// Reading an AdLib instrument bank (.bnk): its name list, the case-blind
// lookup of an instrument by name, and the packing of its operator records
// into the OPL2 register values the engine writes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "rol/bank_format.h"

class binistream;

namespace velk::bank {

// One operator as register values: 20h, 40h, 60h, 80h and C0h groups, and
// the waveform for E0h.
struct OperatorImage {
    std::uint8_t character = 0;
    std::uint8_t level = 0;
    std::uint8_t attackDecay = 0;
    std::uint8_t sustainRelease = 0;
    std::uint8_t feedbackConnection = 0;
    std::uint8_t waveform = 0;

    bool operator==(const OperatorImage &o) const
    {
        return character == o.character && level == o.level && attackDecay == o.attackDecay &&
               sustainRelease == o.sustainRelease && feedbackConnection == o.feedbackConnection &&
               waveform == o.waveform;
    }
    bool operator!=(const OperatorImage &o) const { return !(*this == o); }
};

// An instrument as the engine keeps it; all zero for a name the bank lacks.
struct InstrumentImage {
    std::uint8_t mode = 0;         // kept, not used
    std::uint8_t voiceNumber = 0;  // kept, not used
    OperatorImage modulator;
    OperatorImage carrier;
};

struct NameEntry {
    std::uint16_t timbreIndex = 0;
    std::uint8_t inUse = 0;  // kept, not used
    std::string name;        // up to the first NUL of its 9 bytes, or all 9
};

struct BankIndex {
    std::uint16_t entriesUsed = 0;
    std::uint16_t totalEntries = 0;
    std::int32_t nameListOffset = 0;
    std::int32_t timbreOffset = 0;
    std::vector<NameEntry> names;  // in file order
};

// Reads the header and the name list. Never fails: a short file yields what
// its stream yields past the end.
BankIndex readBankIndex(binistream &bank);

// Orders names as the bank sorts them: unsigned bytes after mapping A-Z onto
// a-z; a name that ends first sorts first.
int compareNames(const std::string &a, const std::string &b);
bool namesEqual(const std::string &a, const std::string &b);
// `name` with A-Z mapped onto a-z: equal for names that compare equal.
std::string foldName(std::string name);

// Index into `index.names` of the first entry of the range equal to `name`
// (a binary search, so a list out of order may miss it), or -1.
int findName(const BankIndex &index, const std::string &name);

// Packs one 13-byte operator record. Each field is cut to its bit width so
// that a stray value cannot reach the neighbouring fields of a register.
OperatorImage packOperator(const std::uint8_t (&record)[operatorRecordSize], std::uint8_t waveform);

// Reads timbre record `timbreIndex`. An offset before the start of the file
// reads like one past its end.
InstrumentImage readTimbre(binistream &bank, const BankIndex &index, std::uint16_t timbreIndex);

// The instruments a song uses, in the order its timbre events first name them.
struct UsedInstrument {
    std::string name;  // as the first event spelled it
    InstrumentImage image;
};
struct UsedInstruments {
    std::vector<UsedInstrument> list;
    std::unordered_map<std::string, int> byFoldedName;  // a song may name thousands
};

// Index in `used` of the instrument called `name` (case-blind), reading it
// from the bank and appending it when it is not there yet.
int resolveInstrument(UsedInstruments &used, binistream &bank, const BankIndex &index,
                      const std::string &name);

} // namespace velk::bank
