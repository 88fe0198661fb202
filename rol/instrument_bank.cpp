#include "rol/instrument_bank.h"

#include <algorithm>

#include "rol/binary_input.h"

namespace velk::bank {
namespace {

using rol::readI32;
using rol::readU16;
using rol::readU8;

unsigned char foldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

std::uint8_t field(const std::uint8_t (&record)[operatorRecordSize], OperatorField f, unsigned width)
{
    return static_cast<std::uint8_t>(record[f] & ((1u << width) - 1));
}

} // namespace

BankIndex readBankIndex(binistream &bank)
{
    rol::makeLittleEndian(bank);
    BankIndex index;
    rol::seekTo(bank, 0);
    readU8(bank);  // major version
    readU8(bank);  // minor version
    bank.ignore(6);  // signature
    index.entriesUsed = readU16(bank);
    index.totalEntries = readU16(bank);
    index.nameListOffset = readI32(bank);
    index.timbreOffset = readI32(bank);

    rol::seekTo(bank, index.nameListOffset);
    index.names.resize(index.entriesUsed);
    auto readEntry = [&bank](NameEntry &entry) {
        entry.timbreIndex = readU16(bank);
        entry.inUse = readU8(bank);
        entry.name = rol::readName(bank, nameSize);
    };
    for (std::size_t i = 0; i < index.names.size(); ++i) {
        readEntry(index.names[i]);
        // Entries wholly past the end all read alike: read one, copy it.
        if (bank.eof() && i + 1 < index.names.size()) {
            readEntry(index.names[i + 1]);
            std::fill(index.names.begin() + static_cast<std::ptrdiff_t>(i) + 2, index.names.end(), index.names[i + 1]);
            break;
        }
    }
    return index;
}

int compareNames(const std::string &a, const std::string &b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = foldCase(static_cast<unsigned char>(a[i]));
        const unsigned char y = foldCase(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool namesEqual(const std::string &a, const std::string &b) { return compareNames(a, b) == 0; }

int findName(const BankIndex &index, const std::string &name)
{
    struct Less {
        bool operator()(const NameEntry &e, const std::string &n) const { return compareNames(e.name, n) < 0; }
        bool operator()(const std::string &n, const NameEntry &e) const { return compareNames(n, e.name) < 0; }
    };
    const auto range = std::equal_range(index.names.begin(), index.names.end(), name, Less{});
    if (range.first == range.second)
        return -1;
    return static_cast<int>(range.first - index.names.begin());
}

OperatorImage packOperator(const std::uint8_t (&record)[operatorRecordSize], std::uint8_t waveform)
{
    OperatorImage op;
    op.character = static_cast<std::uint8_t>(
        field(record, amplitudeVibrato, 1) << 7 | field(record, frequencyVibrato, 1) << 6 |
        field(record, sustainingSound, 1) << 5 | field(record, envelopeScaling, 1) << 4 |
        field(record, frequencyMultiplier, 4));
    op.level = static_cast<std::uint8_t>(field(record, keyScaleLevel, 2) << 6 | field(record, outputLevel, 6));
    op.attackDecay = static_cast<std::uint8_t>(field(record, attackRate, 4) << 4 | field(record, decayRate, 4));
    op.sustainRelease =
        static_cast<std::uint8_t>(field(record, sustainLevel, 4) << 4 | field(record, releaseRate, 4));
    // The record's flag says "modulate"; the chip's connection bit says "side by side".
    op.feedbackConnection =
        static_cast<std::uint8_t>(field(record, feedback, 3) << 1 | (field(record, frequencyModulation, 1) ^ 1));
    op.waveform = waveform;
    return op;
}

InstrumentImage readTimbre(binistream &bank, const BankIndex &index, std::uint16_t timbreIndex)
{
    rol::seekTo(bank, static_cast<long long>(index.timbreOffset) +
                          static_cast<long long>(timbreIndex) * static_cast<long long>(timbreRecordSize));
    InstrumentImage image;
    image.mode = readU8(bank);
    image.voiceNumber = readU8(bank);
    std::uint8_t modulator[operatorRecordSize];
    std::uint8_t carrier[operatorRecordSize];
    for (std::uint8_t &b : modulator)
        b = readU8(bank);
    for (std::uint8_t &b : carrier)
        b = readU8(bank);
    const std::uint8_t modulatorWave = readU8(bank);
    const std::uint8_t carrierWave = readU8(bank);
    image.modulator = packOperator(modulator, modulatorWave);
    image.carrier = packOperator(carrier, carrierWave);
    return image;
}

std::string foldName(std::string name)
{
    for (char &c : name)
        c = static_cast<char>(foldCase(static_cast<unsigned char>(c)));
    return name;
}

int resolveInstrument(UsedInstruments &used, binistream &bank, const BankIndex &index, const std::string &name)
{
    std::string folded = foldName(name);
    if (const auto known = used.byFoldedName.find(folded); known != used.byFoldedName.end())
        return known->second;

    UsedInstrument instrument;
    instrument.name = name;
    const int entry = findName(index, name);
    if (entry >= 0)
        instrument.image = readTimbre(bank, index, index.names[entry].timbreIndex);
    const int position = static_cast<int>(used.list.size());
    used.list.push_back(std::move(instrument));
    used.byFoldedName.emplace(std::move(folded), position);
    return position;
}

} // namespace velk::bank
