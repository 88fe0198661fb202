#include "tools/bankmaker/bank_writer.h"

#include <algorithm>
#include <numeric>

#include "rol/instrument_bank.h"

namespace velk::bank {
namespace {

constexpr char signature[] = "ADLIB-";

void putI32(Bytes &out, std::int32_t v) { putU32(out, static_cast<std::uint32_t>(v)); }

} // namespace

Bytes writeBank(const std::vector<BankInstrument> &instruments, NameOrder order)
{
    std::vector<std::size_t> listed(instruments.size());
    std::iota(listed.begin(), listed.end(), std::size_t{0});
    if (order == NameOrder::sorted)
        std::stable_sort(listed.begin(), listed.end(), [&](std::size_t a, std::size_t b) {
            return compareNames(instruments[a].name, instruments[b].name) < 0;
        });

    const auto count = static_cast<unsigned>(instruments.size());
    const auto nameListOffset = static_cast<std::int32_t>(header::size);
    const auto timbreOffset = static_cast<std::int32_t>(header::size + count * nameEntrySize);

    Bytes out;
    putU8(out, 1);  // version 1.0
    putU8(out, 0);
    putText(out, signature, 6);
    putU16(out, count);
    putU16(out, count);
    putI32(out, nameListOffset);
    putI32(out, timbreOffset);

    for (std::size_t i : listed) {
        putU16(out, static_cast<unsigned>(i));
        putU8(out, 1);  // in use
        putText(out, instruments[i].name, nameSize);
    }
    for (const BankInstrument &instrument : instruments) {
        putU8(out, instrument.mode);
        putU8(out, instrument.voiceNumber);
        out.insert(out.end(), instrument.modulator.begin(), instrument.modulator.end());
        out.insert(out.end(), instrument.carrier.begin(), instrument.carrier.end());
        putU8(out, instrument.modulatorWave);
        putU8(out, instrument.carrierWave);
    }
    return out;
}

} // namespace velk::bank
