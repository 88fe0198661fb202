// Reading ROL songs: what the reader takes from the file, and when it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rol/bank_choice.h"
#include "tests/rol/song_building.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace velk::test {
namespace {

Bytes oneInstrumentBank(const std::string &name, int seed = 1)
{
    return bank::writeBank({distinctInstrument(name, seed)});
}

// Byte offset of voice `index`'s block in the bytes of `song`.
std::size_t voiceOffset(const rol::Song &song, std::size_t index)
{
    std::size_t offset = rol::header::size + 2 + rol::tempoEventSize * song.tempo.size();
    for (std::size_t v = 0; v < index; ++v) {
        const rol::Voice &voice = song.voices[v];
        offset += 4 * (rol::trackNameSize + 2) + rol::noteRecordSize * voice.notes.size() +
                  rol::timbreEventSize * voice.timbres.size() + rol::volumeEventSize * voice.volumes.size() +
                  rol::pitchEventSize * voice.pitches.size();
    }
    return offset;
}

TEST(RolReader, TheVersionPairIsTheOnlyCheck)
{
    rol::Song song = emptySong();
    Bytes bytes = rol::writeSong(song);
    ASSERT_EQ((Bytes{bytes[0], bytes[1], bytes[2], bytes[3]}), (Bytes{0, 0, 4, 0}));
    for (auto [offset, value] : {std::pair{2, 5}, std::pair{0, 1}}) {
        PlayerRig rig;
        Bytes wrong = bytes;
        wrong[offset] = static_cast<std::uint8_t>(value);
        rig.files.add("song.rol", wrong);
        rig.files.add("song.bnk", oneInstrumentBank("piano1"));
        EXPECT_FALSE(rig.loadFile("song.rol", "song.bnk"));
        EXPECT_EQ(rig.player.loadStatus(), rol::SongReadStatus::wrongVersion);
        EXPECT_EQ(rig.files.opens["song.bnk"], 0) << "nothing else is read";
    }
}

TEST(RolReader, TheModeByteChoosesNineOrElevenVoices)
{
    for (int mode : {0, 1, 2, 255}) {
        rol::Song song = emptySong(rol::modePercussive);  // 11 voice blocks in the file
        song.mode = static_cast<std::uint8_t>(mode);
        setNotes(song.voices[8], {{60, 5}});
        setNotes(song.voices[10], {{60, 9}});
        PlayerRig rig;
        ASSERT_TRUE(rig.load(song, oneInstrumentBank("piano1")));
        const bool percussive = mode == 0;
        EXPECT_EQ(rig.player.song().voices.size(), percussive ? 11u : 9u) << mode;
        EXPECT_EQ(rig.player.song().endTick, percussive ? 9 : 5) << mode;
    }
}

TEST(RolReader, NoteRecordsRunUntilTheirDurationsReachTheTimeOfLastNote)
{
    rol::Song song = emptySong();
    song.voices[0].timbres = {timbreAt(3, "piano1")};  // an empty note track: 17 bytes
    setNotes(song.voices[1], {{60, 2}, {0, 2}, {75, 2}});
    song.voices[1].timeOfLastNote = 5;
    song.voices[1].timbres = {timbreAt(4, "Piano1")};
    song.voices[1].volumes = {{2, 0.25f}};
    song.voices[1].pitches = {{1, 1.5f}};
    song.tempo = {{7, 1.5f}};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, oneInstrumentBank("piano1")));
    const rol::SongData &read = rig.player.song();
    EXPECT_EQ(read.ticksPerBeat, 4);
    EXPECT_EQ(read.basicTempo, 120.0f);
    ASSERT_EQ(read.tempo.size(), 1u);
    EXPECT_EQ(read.tempo[0].value, 1.5f);
    EXPECT_TRUE(read.voices[0].notes.empty());
    ASSERT_EQ(read.voices[0].timbres.size(), 1u);
    EXPECT_EQ(read.voices[0].timbres[0].time, 3);

    const rol::VoiceData &voice = read.voices[1];
    ASSERT_EQ(voice.notes.size(), 3u);
    EXPECT_EQ(voice.notes[0].note, 48) << "12 below the number in the file";
    EXPECT_EQ(voice.notes[1].note, rol::restNote);
    EXPECT_EQ(voice.notes[2].note, 63);
    ASSERT_EQ(voice.timbres.size(), 1u);
    EXPECT_EQ(voice.timbres[0].instrument, read.voices[0].timbres[0].instrument) << "one entry for both spellings";
    ASSERT_EQ(voice.volumes.size(), 1u);
    EXPECT_EQ(voice.volumes[0].value, 0.25f);
    ASSERT_EQ(voice.pitches.size(), 1u);
    EXPECT_EQ(voice.pitches[0].time, 1);
    EXPECT_EQ(read.endTick, 5);
    EXPECT_EQ(read.instruments.list.size(), 1u);
    EXPECT_EQ(read.instruments.list[0].name, "piano1") << "the first spelling is kept";
}

TEST(RolReader, ASongCutInsideANoteTrackFailsToLoad)
{
    rol::Song song = emptySong();
    for (int v = 0; v < 9; ++v)
        setNotes(song.voices[v], {{60, 3}, {62, 3}, {64, 3}});
    const Bytes bytes = rol::writeSong(song);
    const std::size_t notes = voiceOffset(song, 4) + rol::trackNameSize + 2;
    for (std::size_t cut : {notes, notes + 1, notes + 6, notes + 11}) {
        PlayerRig rig;
        rig.files.add("song.rol", Bytes(bytes.begin(), bytes.begin() + cut));
        rig.files.add("song.bnk", oneInstrumentBank("piano1"));
        EXPECT_FALSE(rig.loadFile("song.rol", "song.bnk")) << cut;
        EXPECT_EQ(rig.player.loadStatus(), rol::SongReadStatus::truncatedNotes) << cut;
    }
    // Cut after the last note record: the rest reads as counts of -1.
    PlayerRig rig;
    const std::size_t lastNotes = voiceOffset(song, 8) + rol::trackNameSize + 2 + 3 * rol::noteRecordSize;
    rig.files.add("song.rol", Bytes(bytes.begin(), bytes.begin() + lastNotes + 3));
    rig.files.add("song.bnk", oneInstrumentBank("piano1"));
    ASSERT_TRUE(rig.loadFile("song.rol", "song.bnk"));
    EXPECT_TRUE(rig.player.song().voices[8].timbres.empty());
    EXPECT_EQ(rig.player.song().voices[8].notes.size(), 3u);
}

TEST(RolReader, CountsOfZeroOrBelowMeanNoEvents)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}});
    song.voices[1].timbres = {timbreAt(0, "piano1")};
    Bytes bytes = rol::writeSong(song);
    // Voice 0's timbre, volume and pitch counts and the tempo count to -1.
    std::size_t track = voiceOffset(song, 0) + rol::trackNameSize + 2 + rol::noteRecordSize;
    for (int t = 0; t < 3; ++t, track += rol::trackNameSize + 2) {
        bytes[track + rol::trackNameSize] = 0xFF;
        bytes[track + rol::trackNameSize + 1] = 0xFF;
    }
    bytes[rol::header::size] = 0xFF;
    bytes[rol::header::size + 1] = 0xFF;
    PlayerRig rig;
    rig.files.add("song.rol", bytes);
    rig.files.add("song.bnk", oneInstrumentBank("piano1"));
    ASSERT_TRUE(rig.loadFile("song.rol", "song.bnk"));
    EXPECT_TRUE(rig.player.song().tempo.empty());
    EXPECT_EQ(rig.player.song().voices[1].timbres.size(), 1u) << "the next voice is read in step";
}

TEST(RolReader, TimesOfLastNoteAbove32767AreRefused)
{
    rol::Song song = emptySong();
    song.voices[2].timeOfLastNote = static_cast<std::int16_t>(-25536);  // 40000
    song.voices[2].notes = {{60, 20000}, {62, 20000}};
    PlayerRig rig;
    EXPECT_FALSE(rig.load(song, oneInstrumentBank("piano1")));
    EXPECT_EQ(rig.player.loadStatus(), rol::SongReadStatus::tooLong);
}

TEST(RolReader, NamesFillingTheirNineBytesAreReadWhole)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}});
    song.voices[0].timbres = {timbreAt(0, "ABCDEFGHI"), timbreAt(1, "abcdefgh")};
    song.voices[0].timbres[0].reserved = 0x4141;
    song.voices[0].volumes = {{2, 0.5f}};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, bank::writeBank({distinctInstrument("abcdefghi", 2), distinctInstrument("abcdefgh", 3)})));
    const rol::SongData &read = rig.player.song();
    ASSERT_EQ(read.voices[0].timbres.size(), 2u);
    ASSERT_EQ(read.instruments.list.size(), 2u);
    EXPECT_EQ(read.instruments.list[0].name, "ABCDEFGHI");
    EXPECT_EQ(read.instruments.list[1].name, "abcdefgh");
    EXPECT_NE(read.instruments.list[0].image.modulator, bank::OperatorImage{}) << "found in the bank";
    EXPECT_EQ(read.voices[0].volumes.size(), 1u);
}

TEST(RolReader, TheBankIsOpenedOnceAndClosed)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}});
    song.voices[0].timbres = {timbreAt(0, "piano1")};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, oneInstrumentBank("piano1")));
    EXPECT_EQ(rig.files.opens["song.bnk"], 1);
    EXPECT_EQ(rig.files.closes, 2) << "the bank and the song";

    PlayerRig missing;
    missing.files.add("song.rol", rol::writeSong(song));
    EXPECT_FALSE(missing.loadFile("song.rol", "song.bnk"));
    EXPECT_EQ(missing.player.loadStatus(), rol::SongReadStatus::bankUnavailable);
}

TEST(RolReader, AFailedLoadLeavesNoSong)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, oneInstrumentBank("piano1")));
    rig.files.add("other.rol", Bytes{0, 0, 5, 0});
    EXPECT_FALSE(rig.loadFile("other.rol", "song.bnk"));
    EXPECT_TRUE(rig.player.song().voices.empty());
    EXPECT_FALSE(rig.player.update());
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 18.2f);
}

TEST(RolReader, LoadTakesTheBankBesideTheSong)
{
    TempDir dir;
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}});
    song.voices[0].timbres = {timbreAt(0, "piano1")};
    writeFile(dir / "tune.rol", rol::writeSong(song));
    const bank::BankInstrument own = distinctInstrument("piano1", 1);
    const bank::BankInstrument standard = distinctInstrument("piano1", 2);
    writeFile(dir / "standard.bnk", bank::writeBank({standard}));
    const std::string path = (dir / "tune.rol").string();
    auto loadedModulator = [&]() -> int {
        RecordingOpl chip;
        RolPlayer player(&chip);
        if (!player.load(path, CProvider_Filesystem()))
            return -1;
        return player.song().instruments.list.at(0).image.modulator.character;
    };
    std::uint8_t record[bank::operatorRecordSize];
    std::copy(standard.modulator.begin(), standard.modulator.end(), record);
    EXPECT_EQ(loadedModulator(), bank::packOperator(record, 0).character) << "standard.bnk";

    writeFile(dir / "tune.bnk", bank::writeBank({own}));
    std::copy(own.modulator.begin(), own.modulator.end(), record);
    EXPECT_EQ(loadedModulator(), bank::packOperator(record, 0).character) << "the song's own bank";

    // A song bank that cannot be opened is not passed over for standard.bnk.
    struct Refusing : CProvider_Filesystem {
        binistream *open(std::string name) const override
        {
            return name.find("tune.bnk") != std::string::npos ? nullptr : CProvider_Filesystem::open(name);
        }
    };
    RecordingOpl refusedChip;
    RolPlayer refused(&refusedChip);
    EXPECT_FALSE(refused.load(path, Refusing()));
    EXPECT_EQ(refused.loadStatus(), rol::SongReadStatus::bankUnavailable);

    RecordingOpl chip;
    RolPlayer player(&chip);
    EXPECT_FALSE(player.load((dir / "absent.rol").string(), CProvider_Filesystem()));
    EXPECT_EQ(player.loadStatus(), rol::SongReadStatus::songUnavailable);
}

TEST(BankChoice, TheSongsOwnBankReplacesTheExtension)
{
    EXPECT_EQ(songBankPath("C:\\music\\tune.ims"), "C:\\music\\tune.bnk");
    EXPECT_EQ(songBankPath("/songs/Tune.IMS"), "/songs/Tune.bnk");
    EXPECT_EQ(songBankPath("tune.imsx"), "tune.bnkx") << "three characters replaced";
    EXPECT_EQ(songBankPath("tune.a"), "tune.bnk");
    EXPECT_EQ(songBankPath("tune."), "tune.bnk");
    EXPECT_EQ(songBankPath("tune"), "tune.bnk");
    EXPECT_EQ(songBankPath("my.songs/tune"), "my.songs/tune.bnk");
    EXPECT_EQ(songBankPath("my.songs\\tune"), "my.songs\\tune.bnk");
    EXPECT_EQ(songBankPath("a.b.ims"), "a.b.bnk");

    EXPECT_EQ(standardBankPath("C:\\music\\tune.ims"), "C:\\music\\standard.bnk");
    EXPECT_EQ(standardBankPath("/a\\b/tune.ims"), "/a\\b/standard.bnk");
    EXPECT_EQ(standardBankPath("tune.ims"), "standard.bnk");
}

TEST(BankChoice, TheSongsOwnBankWinsWhenItExists)
{
    TempDir dir;
    const std::string song = (dir / "tune.ims").string();
    EXPECT_EQ(chooseBankPath(song), (dir / "standard.bnk").string()) << "neither exists";
    writeFile(dir / "standard.bnk", Bytes{});
    EXPECT_EQ(chooseBankPath(song), (dir / "standard.bnk").string());
    writeFile(dir / "tune.bnk", Bytes{});
    EXPECT_EQ(chooseBankPath(song), (dir / "tune.bnk").string());
    EXPECT_EQ(song, (dir / "tune.ims").string());
}

// Collections from DOS keep their names in capitals; the bank is found
// whatever case the song's name and the bank's own have. The chosen file is
// told by its bytes: Windows answers with the path as formed, other systems
// with the name as it is on disk.
TEST(BankChoice, DosCollectionsFindTheirBanksInAnyCase)
{
    TempDir dir;
    const auto bankOf = [](const std::filesystem::path &song) { return readText(chooseBankPath(song.string())); };
    for (const char *folder : {"own", "standard", "both", "neither"})
        std::filesystem::create_directory(dir / folder);
    writeFile(dir / "own" / "SONG.BNK", "own");
    EXPECT_EQ(bankOf(dir / "own" / "SONG.IMS"), "own");

    writeFile(dir / "standard" / "STANDARD.BNK", "standard");
    EXPECT_EQ(bankOf(dir / "standard" / "SONG.IMS"), "standard");

    writeFile(dir / "both" / "SONG.BNK", "own");
    writeFile(dir / "both" / "standard.bnk", "standard");
    EXPECT_EQ(bankOf(dir / "both" / "song.ims"), "own") << "the song's own bank wins";

    const std::string neither = (dir / "neither" / "SONG.IMS").string();
    EXPECT_EQ(chooseBankPath(neither), standardBankPath(neither)) << "as formed when neither exists";
    std::filesystem::create_directory(dir / "neither" / "Standard.Bnk");
    EXPECT_EQ(chooseBankPath(neither), standardBankPath(neither)) << "folders are no banks";
}

#ifndef _WIN32
// Where several names differ in case only, the first in byte order wins.
TEST(BankChoice, OfSeveralNamesInOtherCasesTheFirstByByteOrderIsTaken)
{
    TempDir dir;
    for (const char *name : {"song.BNK", "Song.bnk", "SONG.Bnk"})
        writeFile(dir / name, name);
    EXPECT_EQ(chooseBankPath((dir / "song.ims").string()), (dir / "SONG.Bnk").string());
    writeFile(dir / "song.bnk", "exact");
    EXPECT_EQ(chooseBankPath((dir / "song.ims").string()), (dir / "song.bnk").string()) << "the name as formed first";
}
#endif

} // namespace
} // namespace velk::test
