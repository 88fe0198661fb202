// Writes the fuzz targets' seed corpora with the project's own writers: IMS
// songs from the IMS writer and the demo song's text, their conversions
// paired with banks from the bank writer, banks, title fields, and lyric
// files from the lyric file writer.
//
//   make_fuzz_seeds <source folder> <seeds folder>
//
// The seeds are committed; run this again when a writer changes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "tools/bankmaker/bank_text.h"
#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"
#include "tools/imsmaker/song_text.h"
#include "tools/issmaker/iss_writer.h"

namespace {

using namespace velk;
namespace fs = std::filesystem;

std::string readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeSeed(const fs::path &folder, const std::string &name, const Bytes &bytes)
{
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::pair<std::string, ims::SongSource>> songs(const fs::path &sourceFolder)
{
    std::vector<std::pair<std::string, ims::SongSource>> out;

    ims::SongSource melodic;
    melodic.title = "\x88\x61 melodic";
    melodic.rhythmMode = 0;
    melodic.instruments = {"piano1", "STRINGS"};
    melodic.events = {ims::instrument(0, 0),       ims::noteOn(0, 60, 100).after(240),
                      ims::noteOn(0, 60, 0).after(60), ims::instrument(1, 1),
                      ims::noteOn(1, 67, 90).after(480), ims::noteOff(1, 67, 0).after(1)};
    out.emplace_back("melodic", melodic);

    // Every event kind, running status, whole-beat delays and a drum per
    // rhythm voice.
    ims::SongSource percussive;
    percussive.title = std::string(30, 'T');
    percussive.runningStatus = true;
    percussive.instruments = {"piano1", "bdrum1", "snare1", "tom1", "cymbal1", "hihat1"};
    percussive.events = {ims::leadingDelay(12), ims::tempo(1, 64).after(0), ims::volume(0, 127)};
    for (int voice = 0; voice < ims::voiceCount; ++voice)
        percussive.events.push_back(ims::instrument(voice, voice < 6 ? 0 : voice - 5));
    for (int voice = 0; voice < ims::voiceCount; ++voice) {
        percussive.events.push_back(ims::noteOn(voice, 40 + 3 * voice, 100).after(30));
        percussive.events.push_back(ims::noteOn(voice, 41 + 3 * voice, 110).after(30));
    }
    percussive.events.push_back(ims::pitchBend(0, 12000).after(240 * 3 + 7));
    percussive.events.push_back(ims::control(1));
    percussive.events.push_back(ims::pressure(2).after(1));
    percussive.events.push_back(ims::tempo(0, 100).after(120));
    for (int voice = 0; voice < ims::voiceCount; ++voice)
        percussive.events.push_back(ims::noteOff(voice, 40 + 3 * voice, 0));
    out.emplace_back("percussive", percussive);

    ims::SongSource unended = melodic;
    unended.endOfSong = false;
    unended.musicSize = 4000;  // announces more than there is
    out.emplace_back("unended", unended);

    ims::SongSource badVoice;
    badVoice.events = {ims::noteOn(0, 60, 100).after(10), ims::raw({0x9B, 60, 100, 0})};
    out.emplace_back("bad-voice", badVoice);

    ims::SongTextError error;
    if (auto demo = ims::parseSongText(readText(sourceFolder / "demo" / "demo-song.txt"), error))
        out.emplace_back("demo", *demo);
    else
        std::fprintf(stderr, "demo song: line %d: %s\n", error.line, error.message.c_str());
    return out;
}

std::vector<bank::BankInstrument> bankFor(const std::vector<std::string> &names)
{
    std::vector<bank::BankInstrument> instruments;
    int seed = 1;
    for (const std::string &name : names) {
        bank::BankInstrument in;
        in.name = name;
        for (std::size_t f = 0; f < bank::operatorRecordSize; ++f) {
            in.modulator[f] = static_cast<std::uint8_t>((seed * 7 + f) & 3);
            in.carrier[f] = static_cast<std::uint8_t>((seed * 5 + f) & 15);
        }
        in.carrierWave = static_cast<std::uint8_t>(seed++ & 3);
        instruments.push_back(in);
    }
    return instruments;
}

// Lyric files as real ones are, and odd: Hangul, kana and symbols, an
// unassigned ornament pair, records out of time order, an empty line lit, a
// line come back to, a lead byte ending a line; then refusals.
std::vector<std::pair<std::string, Bytes>> lyricFiles()
{
    lyrics::IssSource song;
    song.credits = {"LeeYS", "\xD4\x41\xD4\x42 Kim \xD4\x41", "", "Park"};
    song.lines = {"        \x88\x61\x88\x62 \xDD\xA2\xDD\xA4. la", "", "\xD9\xC1 \xE0\x31 end \x90",
                  std::string(63, 'x')};
    song.records = {{0, 0, 8, 2},  {30, 0, 10, 2}, {45, 0, 13, 2}, {40, 0, 15, 2}, {60, 1, 0, 1},
                    {90, 2, 0, 2}, {95, 2, 2, 4},  {99, 2, 10, 2}, {120, 0, 0, 64}, {130, 3, 62, 1}};
    std::vector<std::pair<std::string, Bytes>> out;
    out.emplace_back("song.iss", lyrics::writeIssFile(song));

    lyrics::IssSource empty;
    out.emplace_back("empty.iss", lyrics::writeIssFile(empty));
    lyrics::IssSource badSignature = song;
    badSignature.signature = "IMPlay Song V1.0";
    out.emplace_back("bad-signature.iss", lyrics::writeIssFile(badSignature));
    lyrics::IssSource tooManyLines = song;
    tooManyLines.lineCount = 9;
    out.emplace_back("counts-past-end.iss", lyrics::writeIssFile(tooManyLines));
    lyrics::IssSource split = song;
    split.records.push_back({140, 0, 9, 1});
    out.emplace_back("split-character.iss", lyrics::writeIssFile(split));
    const Bytes whole = lyrics::writeIssFile(song);
    out.emplace_back("truncated.iss", Bytes(whole.begin(), whole.begin() + 180));
    return out;
}

// The ROL target's input: the song's length, the song, the bank.
Bytes songWithBank(const Bytes &rol, const Bytes &bankBytes)
{
    Bytes out;
    putU16(out, static_cast<unsigned>(rol.size()));
    out.insert(out.end(), rol.begin(), rol.end());
    out.insert(out.end(), bankBytes.begin(), bankBytes.end());
    return out;
}

} // namespace

// The song and its bank, each after its 16-bit length, then a script of
// calls that touches each one: render, state, score, mute, render, tempo,
// transpose, seek back, state, render, seek past the end.
Bytes songBankAndCalls(const Bytes &ims, const Bytes &bankBytes)
{
    Bytes out;
    for (const Bytes *part : {&ims, &bankBytes}) {
        out.push_back(static_cast<std::uint8_t>(part->size() & 0xFF));
        out.push_back(static_cast<std::uint8_t>(part->size() >> 8));
        out.insert(out.end(), part->begin(), part->end());
    }
    out.push_back(1);  // satoh
    const std::uint8_t calls[][3] = {{0, 7, 0}, {5, 0, 0}, {6, 0, 0}, {2, 0x41, 0}, {0, 4, 0}, {3, 120, 0},
                                     {4, 25, 0}, {1, 0, 30}, {5, 0, 0}, {0, 2, 0}, {1, 0xFF, 0xFF}, {0, 1, 0}};
    for (const auto &call : calls)
        out.insert(out.end(), call, call + 3);
    return out;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <source folder> <seeds folder>\n");
        return 2;
    }
    const fs::path source = argv[1], seeds = argv[2];

    const bank::ParsedBank demoBank = bank::parseBankText(readText(source / "demo" / "demo-bank.txt"));
    for (const auto &[name, song] : songs(source)) {
        const Bytes ims = ims::writeSong(song);
        writeSeed(seeds / "ims_conversion", name + ".ims", ims);
        writeSeed(seeds / "title_decoding", name + ".title",
                  Bytes(ims.begin() + ims::titleOffset, ims.begin() + ims::titleOffset + ims::titleSize));

        const converter::ConversionResult converted = converter::convertImsToRol(ims);
        if (!converted.converted())
            continue;
        const Bytes bankBytes =
            name == "demo" ? bank::writeBank(demoBank.instruments) : bank::writeBank(bankFor(song.instruments));
        writeSeed(seeds / "rol_playback", name + ".rol+bnk", songWithBank(converted.rol, bankBytes));
        writeSeed(seeds / "bank_lookup", name + ".bnk", bankBytes);
        writeSeed(seeds / "libvelk_api", name + ".ims+bnk+calls", songBankAndCalls(ims, bankBytes));
    }

    // Banks a lookup must bear: names out of order, equal but for case,
    // filling their field.
    writeSeed(seeds / "bank_lookup", "unsorted.bnk",
              bank::writeBank(bankFor({"zither", "Piano1", "bass1"}), bank::NameOrder::asGiven));
    writeSeed(seeds / "bank_lookup", "case-twins.bnk", bank::writeBank(bankFor({"snare1", "SNARE1", "Snare1"})));
    writeSeed(seeds / "bank_lookup", "full-names.bnk", bank::writeBank(bankFor({"abcdefghi", "ABCDEFGH", "a"})));

    // Titles with a Johab pair the table lacks, a lead byte cut off by the
    // field's end, bytes around the lead range, no NUL at all.
    const std::string titles[] = {
        std::string("\xD0\x65\xD9\x31 x \x87\xFA\xFF", 11),
        std::string(29, 'a') + "\x88",
        std::string(30, '\x88'),
    };
    for (const auto &[name, bytes] : lyricFiles())
        writeSeed(seeds / "lyrics_reading", name, bytes);

    int n = 0;
    for (const std::string &title : titles)
        writeSeed(seeds / "title_decoding", "field-" + std::to_string(++n) + ".title", Bytes(title.begin(), title.end()));
    return 0;
}
