// The bank reader and the name lookup on any bytes: the index holds the
// entries its header counts, with names of at most 9 bytes; a lookup yields
// an entry of the list or none, and in a sorted list finds every name, case-
// blind, at the first of its equals; a song's instruments resolve case-blind
// to one entry each.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "rol/instrument_bank.h"
#include "tests/rol/memory_files.h"

using velk::fuzz::require;
namespace bank = velk::bank;

namespace {

// A name with A-Z and a-z swapped: the same name to a case-blind reader.
std::string otherCase(std::string name)
{
    for (char &c : name)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            c = static_cast<char>(c ^ 0x20);
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    velk::test::ByteStream stream(velk::Bytes(data, data + size));
    const bank::BankIndex index = bank::readBankIndex(stream);
    require(index.names.size() == index.entriesUsed, "the index holds the entries its header counts");

    // A count read past the end gives 65,535 entries, far beyond any real
    // bank; the order of so long a list is not checked, to keep the target fast.
    constexpr std::size_t longestChecked = 4096;
    bool sorted = index.names.size() <= longestChecked;
    for (std::size_t i = 0; i < index.names.size() && i < longestChecked; ++i) {
        require(index.names[i].name.size() <= bank::nameSize &&
                    index.names[i].name.find('\0') == std::string::npos,
                "a name is the text of its 9-byte field");
        if (i > 0 && bank::compareNames(index.names[i - 1].name, index.names[i].name) > 0)
            sorted = false;
    }

    // Every lookup of a long list costs a binary search: a few dozen names
    // say as much as all of them.
    const std::size_t asked = std::min<std::size_t>(index.names.size(), 64);
    bank::UsedInstruments used;
    for (std::size_t i = 0; i < asked; ++i) {
        const std::string &name = index.names[i].name;
        // Out of order, the bank's binary search may take a range that
        // begins at another name, as the engine's model does: only an
        // entry of the list is required then.
        const int found = bank::findName(index, otherCase(name));
        require(found >= -1 && found < static_cast<int>(index.names.size()), "a lookup yields an entry or none");
        if (sorted)
            require(found >= 0 && static_cast<std::size_t>(found) <= i &&
                        (found == 0 || !bank::namesEqual(index.names[static_cast<std::size_t>(found) - 1].name, name)),
                    "a sorted list yields each name at the first of its equals");

        const int first = bank::resolveInstrument(used, stream, index, name);
        require(bank::resolveInstrument(used, stream, index, otherCase(name)) == first,
                "an instrument resolves case-blind to one entry");
    }
    require(bank::findName(index, std::string(bank::nameSize + 1, 'x')) == -1,
            "a name longer than any field is never found");
    return 0;
}
