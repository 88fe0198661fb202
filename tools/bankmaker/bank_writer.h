// Writes AdLib instrument banks (.bnk) from plain instrument definitions: the
// demo bank and the banks tests play songs with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "rol/bank_format.h"

namespace velk::bank {

// One operator record, a byte per field in the order of OperatorField.
using OperatorRecord = std::array<std::uint8_t, operatorRecordSize>;

struct BankInstrument {
    std::string name;  // up to 8 characters; 9 fill the field with no NUL
    std::uint8_t mode = 0;
    std::uint8_t voiceNumber = 0;
    OperatorRecord modulator{};
    OperatorRecord carrier{};
    std::uint8_t modulatorWave = 0;
    std::uint8_t carrierWave = 0;
};

enum class NameOrder {
    sorted,   // as readers expect: case-blind ascending
    asGiven,  // the definitions' own order, for banks a lookup may miss in
};

// The bank's bytes: header, name list, then the timbre records in the order
// of `instruments`.
Bytes writeBank(const std::vector<BankInstrument> &instruments, NameOrder order = NameOrder::sorted);

} // namespace velk::bank
