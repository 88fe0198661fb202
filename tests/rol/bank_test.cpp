// Instrument banks: the packing of operator records, the lookup by name, the
// used-instrument list, and the bank writer the tests and the demo rely on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "rol/instrument_bank.h"
#include "tests/rol/memory_files.h"
#include "tools/bankmaker/bank_text.h"
#include "tools/bankmaker/bank_writer.h"

namespace velk::test {
namespace {

using bank::OperatorImage;

OperatorImage pack(std::initializer_list<std::uint8_t> fields, std::uint8_t waveform = 0)
{
    std::uint8_t record[bank::operatorRecordSize] = {};
    std::copy(fields.begin(), fields.end(), record);
    return bank::packOperator(record, waveform);
}

TEST(Bank, OperatorRecordsPackIntoRegisterValues)
{
    // Key scale level 1, multiplier 1, attack 15, sustain 2, sustaining,
    // decay 4, release 5, level 16; frequency modulation off.
    const OperatorImage op = pack({1, 1, 0, 15, 2, 1, 4, 5, 16, 0, 0, 0, 0}, 3);
    EXPECT_EQ(op.character, 0x21);
    EXPECT_EQ(op.level, 0x50);
    EXPECT_EQ(op.attackDecay, 0xF4);
    EXPECT_EQ(op.sustainRelease, 0x25);
    EXPECT_EQ(op.feedbackConnection, 0x01);
    EXPECT_EQ(op.waveform, 3);

    const OperatorImage other = pack({0, 0, 5, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1});
    EXPECT_EQ(other.character, 0xD0) << "tremolo, vibrato, key scale rate";
    EXPECT_EQ(other.feedbackConnection, 0x0A) << "feedback 5, operators in series";
}

TEST(Bank, FieldsAreCutToTheirWidths)
{
    // A multiplier of 19 would set the key scale rate bit, a level of 69 the
    // key scale level, a modulation flag of 2 the connection.
    const OperatorImage op = pack({5, 19, 9, 0x1F, 0x12, 3, 0x23, 0x34, 69, 2, 2, 2, 2}, 0x07);
    EXPECT_EQ(op.character, 0x23);  // sustaining (3 & 1) and multiplier 3
    EXPECT_EQ(op.level, 0x45);      // key scale level 1, level 5
    EXPECT_EQ(op.attackDecay, 0xF3);
    EXPECT_EQ(op.sustainRelease, 0x24);
    EXPECT_EQ(op.feedbackConnection, 0x03);  // feedback 1, flag 0 -> side by side
    EXPECT_EQ(op.waveform, 0x07) << "the waveform byte goes to the chip as it stands";

    const OperatorImage full = pack({255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255});
    EXPECT_EQ(full.character, 0xFF);
    EXPECT_EQ(full.level, 0xFF);
    EXPECT_EQ(full.feedbackConnection, 0x0E);
}

TEST(Bank, NamesCompareCaseBlindAsUnsignedBytes)
{
    EXPECT_EQ(bank::compareNames("Piano1", "PIANO1"), 0);
    EXPECT_LT(bank::compareNames("b_x", "ba"), 0) << "letters fold to lower case, above '_'";
    EXPECT_GT(bank::compareNames("Z", "_"), 0) << "'z' is above '_'";
    EXPECT_LT(bank::compareNames("pian", "piano1"), 0) << "the shorter name first";
    EXPECT_GT(bank::compareNames("\xE9t", "zz"), 0) << "bytes are unsigned";
    EXPECT_LT(bank::compareNames("", "a"), 0);
}

// A bank whose name list is written exactly as given.
struct Bank {
    std::vector<bank::BankInstrument> instruments;
    Bytes bytes;
    ByteStream stream{{}};
    bank::BankIndex index;

    explicit Bank(std::vector<std::string> names)
    {
        int seed = 0;
        for (const std::string &name : names) {
            bank::BankInstrument in;
            in.name = name;
            in.modulator[bank::frequencyMultiplier] = static_cast<std::uint8_t>(seed++);
            instruments.push_back(in);
        }
        bytes = bank::writeBank(instruments, bank::NameOrder::asGiven);
        stream = ByteStream(bytes, &seeks);
        index = bank::readBankIndex(stream);
    }
    // The multiplier (the instrument's position in `names`) of what a lookup
    // of `name` finds, or -1 for the all-zero instrument of a missing name.
    int find(const std::string &name)
    {
        bank::UsedInstruments used;
        const int entry = bank::resolveInstrument(used, stream, index, name);
        const bank::InstrumentImage &image = used.list.at(entry).image;
        if (bank::findName(index, name) < 0) {
            EXPECT_EQ(image.modulator, OperatorImage{});
            EXPECT_EQ(image.carrier, OperatorImage{});
            return -1;
        }
        return image.modulator.character & 0x0F;
    }
    int seeks = 0;
};

TEST(Bank, LookupIsABinarySearchInTheBanksOrder)
{
    Bank b({"B_X", "ba", "pian", "PIANO1", "piano2", "snare", "Tom1", "\xE9t"});
    EXPECT_EQ(b.index.names.size(), 8u);
    EXPECT_EQ(b.find("b_x"), 0);
    EXPECT_EQ(b.find("BA"), 1);
    EXPECT_EQ(b.find("Pian"), 2);
    EXPECT_EQ(b.find("piano1"), 3);
    EXPECT_EQ(b.find("PIANO2"), 4);
    EXPECT_EQ(b.find("TOM1"), 6);
    EXPECT_EQ(b.find("\xC9t"), -1) << "only A to Z fold";
    EXPECT_EQ(b.find("\xE9t"), 7);
    EXPECT_EQ(b.find("piano"), -1);
    EXPECT_EQ(b.find(""), -1);
}

TEST(Bank, TheFirstOfEqualNamesAndMissingNames)
{
    Bank b({"alpha", "dup", "DUP", "dup", "zeta"});
    EXPECT_EQ(b.find("Dup"), 1);
    EXPECT_EQ(b.find("beta"), -1);

    Bank empty({});
    EXPECT_TRUE(empty.index.names.empty());
    EXPECT_EQ(empty.find("alpha"), -1);

    // Out of order, the search misses names, and the range it takes for a
    // name may begin at another entry.
    Bank unordered({"zeta", "mid", "alpha"});
    EXPECT_EQ(unordered.find("zeta"), -1);
    EXPECT_EQ(unordered.find("mid"), 0);
}

TEST(Bank, UsedInstrumentsAreReusedByCaseBlindName)
{
    Bank b({"bass", "piano1"});
    bank::UsedInstruments used;
    const int seeksBefore = b.seeks;
    EXPECT_EQ(bank::resolveInstrument(used, b.stream, b.index, "piano1"), 0);
    EXPECT_EQ(b.seeks, seeksBefore + 1) << "one timbre record read";
    EXPECT_EQ(bank::resolveInstrument(used, b.stream, b.index, "PIANO1"), 0);
    EXPECT_EQ(bank::resolveInstrument(used, b.stream, b.index, "nothing"), 1);
    EXPECT_EQ(bank::resolveInstrument(used, b.stream, b.index, "Nothing"), 1);
    EXPECT_EQ(bank::resolveInstrument(used, b.stream, b.index, "bass"), 2);
    EXPECT_EQ(b.seeks, seeksBefore + 2) << "the bank is read once per instrument";
    ASSERT_EQ(used.list.size(), 3u);
    EXPECT_EQ(used.list[0].name, "piano1");
    EXPECT_EQ(used.list[1].name, "nothing");
}

TEST(Bank, NamesFillingTheirNineBytes)
{
    Bank b({"abc", "abcdefghi", "abcdefgh"});
    EXPECT_EQ(b.index.names[1].name, "abcdefghi");
    EXPECT_EQ(b.index.names[2].name, "abcdefgh") << "the field's end is respected";
    EXPECT_EQ(b.find("ABCDEFGHI"), 1);
}

TEST(Bank, OffsetsOutsideTheFileReadAsPastItsEnd)
{
    Bank b({"piano1"});
    for (std::uint32_t offset : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 5000u}) {
        Bytes bytes = b.bytes;
        for (int i = 0; i < 4; ++i)
            bytes[bank::header::nameListOffset + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        ByteStream stream(bytes);
        const bank::BankIndex index = bank::readBankIndex(stream);
        ASSERT_EQ(index.names.size(), 1u);
        EXPECT_EQ(index.names[0].name, std::string(9, '\xFF')) << std::hex << offset;
        EXPECT_EQ(index.names[0].timbreIndex, 0xFFFF);
    }
    for (std::uint32_t offset : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u}) {
        Bytes bytes = b.bytes;
        for (int i = 0; i < 4; ++i)
            bytes[bank::header::timbreOffset + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        ByteStream stream(bytes);
        const bank::BankIndex index = bank::readBankIndex(stream);
        const bank::InstrumentImage image = bank::readTimbre(stream, index, 0xFFFF);
        EXPECT_EQ(image.mode, 0xFF) << std::hex << offset;
        EXPECT_EQ(image.carrier.level, 0xFF);
    }
    // 65535 entries in a short file: the timbre record, then bytes of 255.
    Bytes bytes = b.bytes;
    bytes[bank::header::entriesUsed] = 0xFF;
    bytes[bank::header::entriesUsed + 1] = 0xFF;
    ByteStream stream(bytes);
    const bank::BankIndex index = bank::readBankIndex(stream);
    ASSERT_EQ(index.names.size(), 65535u);
    EXPECT_EQ(index.names[0].name, "piano1");
    EXPECT_EQ(index.names[65534].name, std::string(9, '\xFF'));
    EXPECT_EQ(index.names[65534].timbreIndex, 0xFFFF);
}

TEST(BankWriter, DefinitionsAsTextBecomeABank)
{
    const std::string text =
        "# two instruments\n"
        "instrument Piano1 mode=1 voice=3\n"
        "  modulator ksl=1 multiplier=1 attack=15 sustain=2 sustaining=1 decay=4 release=5 level=16\n"
        "  carrier multiplier=2 wave=2   # trailing comment\n"
        "\n"
        "instrument bass  \n"
        "  modulator feedback=5 fm=1 tremolo=1 vibrato=1 ksr=1\n";
    const bank::ParsedBank parsed = bank::parseBankText(text);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.instruments.size(), 2u);

    ByteStream stream(bank::writeBank(parsed.instruments));
    const bank::BankIndex index = bank::readBankIndex(stream);
    ASSERT_EQ(index.names.size(), 2u);
    EXPECT_EQ(index.names[0].name, "bass") << "sorted";
    EXPECT_EQ(index.names[1].name, "Piano1");
    const bank::InstrumentImage piano = bank::readTimbre(stream, index, index.names[1].timbreIndex);
    EXPECT_EQ(piano.mode, 1);
    EXPECT_EQ(piano.voiceNumber, 3);
    EXPECT_EQ(piano.modulator, (OperatorImage{0x21, 0x50, 0xF4, 0x25, 0x01, 0}));
    EXPECT_EQ(piano.carrier, (OperatorImage{0x02, 0x00, 0x00, 0x00, 0x01, 2}));
    const bank::InstrumentImage bass = bank::readTimbre(stream, index, index.names[0].timbreIndex);
    EXPECT_EQ(bass.modulator, (OperatorImage{0xD0, 0x00, 0x00, 0x00, 0x0A, 0}));
}

TEST(BankWriter, MistakesAreReportedByLine)
{
    struct Case { const char *text; const char *error; };
    for (const Case c : {
             Case{"modulator level=1\n", "line 1: modulator before any instrument"},
             Case{"instrument a\n  carrier level=64\n", "line 2: value of level must be 0 to 63, got 64"},
             Case{"instrument a\n  carrier colour=1\n", "line 2: unknown operator field \"colour\""},
             Case{"instrument a\n\ninstrument A\n", "line 3: instrument \"A\" is defined twice"},
             Case{"instrument ninechars\n", "line 1: instrument name \"ninechars\" is longer than 8 characters"},
             Case{"instrument a\n carrier wave\n", "line 2: expected key=value, got \"wave\""},
             Case{"instrument a\n carrier wave=-1\n", "line 2: value of wave must be 0 to 3, got -1"},
             Case{"instrument\n", "line 1: instrument without a name"},
             Case{"voice a\n", "line 1: unknown keyword \"voice\""},
         }) {
        const bank::ParsedBank parsed = bank::parseBankText(c.text);
        EXPECT_EQ(parsed.error, c.error) << c.text;
        EXPECT_TRUE(parsed.instruments.empty());
    }
}

TEST(BankWriter, TheDemoBankHoldsTheDemoSongsInstruments)
{
    std::ifstream in(VELK_SOURCE_DIR "/demo/demo-bank.txt");
    ASSERT_TRUE(in);
    std::ostringstream text;
    text << in.rdbuf();
    const bank::ParsedBank parsed = bank::parseBankText(text.str());
    ASSERT_EQ(parsed.error, "");
    ByteStream stream(bank::writeBank(parsed.instruments));
    const bank::BankIndex index = bank::readBankIndex(stream);
    for (const char *name : {"piano1", "strings", "bass1", "flute1", "bdrum1", "snare1", "tom1", "cymbal1", "hihat1"}) {
        const int entry = bank::findName(index, name);
        ASSERT_GE(entry, 0) << name;
        const bank::InstrumentImage image = bank::readTimbre(stream, index, index.names[entry].timbreIndex);
        EXPECT_NE(image.modulator.attackDecay & 0xF0, 0) << name << " must sound";
    }
}

} // namespace
} // namespace velk::test
