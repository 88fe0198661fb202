// Broken songs and banks: cut short, scrambled, with absurd counts and
// offsets. Loading either fails or gives a song that plays to its end.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "tests/rol/song_building.h"
#include "tests/support/temp_dir.h"

namespace velk::test {
namespace {

rol::Song richSong()
{
    rol::Song song = emptySong(rol::modePercussive);
    song.tempo = {{0, 1.0f}, {20, 1.5f}};
    const char *names[] = {"piano1", "strings", "bdrum1", "snare1", "missing"};
    for (std::size_t v = 0; v < song.voices.size(); ++v) {
        rol::Voice &voice = song.voices[v];
        if (v == 3)
            continue;  // one empty voice
        setNotes(voice, {{static_cast<std::int16_t>(40 + v), 5}, {0, 3}, {static_cast<std::int16_t>(50 + v), 7}});
        voice.timbres = {timbreAt(0, names[v % 5]), timbreAt(6, names[(v + 1) % 5])};
        voice.volumes = {{0, 0.8f}, {4, 1.0f}};
        voice.pitches = {{2, 1.0f}};
    }
    return song;
}

Bytes richBank()
{
    std::vector<bank::BankInstrument> instruments;
    int seed = 1;
    for (const char *name : {"piano1", "strings", "bdrum1", "snare1"})
        instruments.push_back(distinctInstrument(name, seed++));
    return bank::writeBank(instruments);
}

// Loads; when that works, plays to the end, which must come within the
// song's own end tick.
void loadAndPlay(const Bytes &song, const Bytes &bank)
{
    PlayerRig rig;
    rig.files.add("song.rol", song);
    rig.files.add("song.bnk", bank);
    if (!rig.loadFile("song.rol", "song.bnk")) {
        EXPECT_TRUE(rig.player.song().voices.empty());
        return;
    }
    const int end = rig.player.song().endTick;
    ASSERT_GE(end, 0);
    ASSERT_LE(end, 32767);
    int ticks = 0;
    while (rig.player.update())
        ASSERT_LE(++ticks, end) << "no end";
    const float rate = rig.player.getrefresh();
    EXPECT_TRUE(rate >= RolPlayer::minRefresh && rate <= RolPlayer::maxRefresh);
    EXPECT_LT(rig.player.songlength(0), 36000001u);
}

TEST(RolMalformed, EveryTruncation)
{
    const Bytes song = rol::writeSong(richSong());
    const Bytes bank = richBank();
    for (std::size_t size = 0; size < song.size(); ++size) {
        SCOPED_TRACE("song cut to " + std::to_string(size));
        loadAndPlay(Bytes(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(size)), bank);
    }
    for (std::size_t size = 0; size < bank.size(); ++size) {
        SCOPED_TRACE("bank cut to " + std::to_string(size));
        loadAndPlay(song, Bytes(bank.begin(), bank.begin() + static_cast<std::ptrdiff_t>(size)));
    }
}

TEST(RolMalformed, RandomCorruption)
{
    const Bytes song = rol::writeSong(richSong());
    const Bytes bank = richBank();
    std::mt19937 random(20240601);
    auto corrupt = [&](Bytes bytes) {
        const int changes = std::uniform_int_distribution<int>(1, 12)(random);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
            bytes[at] = static_cast<std::uint8_t>(random());
        }
        return bytes;
    };
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        loadAndPlay(corrupt(song), bank);
        loadAndPlay(song, corrupt(bank));
    }
}

// Offsets of every count in the song: tempo, then each voice's time of last
// note and its timbre, volume and pitch counts.
std::vector<std::size_t> countOffsets(const rol::Song &song)
{
    std::vector<std::size_t> offsets{rol::header::size};
    std::size_t at = rol::header::size + 2 + rol::tempoEventSize * song.tempo.size();
    for (const rol::Voice &voice : song.voices) {
        at += rol::trackNameSize;
        offsets.push_back(at);
        at += 2 + rol::noteRecordSize * (voice.timeOfLastNote ? voice.notes.size() : 0) + rol::trackNameSize;
        offsets.push_back(at);
        at += 2 + rol::timbreEventSize * voice.timbres.size() + rol::trackNameSize;
        offsets.push_back(at);
        at += 2 + rol::volumeEventSize * voice.volumes.size() + rol::trackNameSize;
        offsets.push_back(at);
        at += 2 + rol::pitchEventSize * voice.pitches.size();
    }
    EXPECT_EQ(at, rol::writeSong(song).size());
    return offsets;
}

TEST(RolMalformed, CountsOfMinusOneAnd32767)
{
    const rol::Song rich = richSong();
    const Bytes song = rol::writeSong(rich);
    const Bytes bank = richBank();
    for (std::size_t offset : countOffsets(rich)) {
        for (unsigned value : {0xFFFFu, 0x7FFFu, 0x8000u}) {
            SCOPED_TRACE("count at " + std::to_string(offset) + " = " + std::to_string(value));
            Bytes bytes = song;
            bytes[offset] = static_cast<std::uint8_t>(value);
            bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
            loadAndPlay(bytes, bank);
        }
    }
    // Every count at 32767 in a song that is otherwise only its header.
    Bytes header(song.begin(), song.begin() + rol::header::size);
    for (int i = 0; i < 2; ++i)
        header.push_back(i ? 0x7F : 0xFF);
    loadAndPlay(header, bank);
}

TEST(RolMalformed, BankCountsAndOffsetsOutOfRange)
{
    const Bytes song = rol::writeSong(richSong());
    const Bytes bank = richBank();
    auto put32 = [](Bytes &b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    for (std::uint32_t offset : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x7FFFFFF0u, 0u, 19u}) {
        for (std::size_t field : {bank::header::nameListOffset, bank::header::timbreOffset}) {
            SCOPED_TRACE(std::to_string(field) + " = " + std::to_string(offset));
            Bytes bytes = bank;
            put32(bytes, field, offset);
            loadAndPlay(song, bytes);
        }
    }
    for (unsigned entries : {0xFFFFu, 0x8000u, 0u}) {
        Bytes bytes = bank;
        bytes[bank::header::entriesUsed] = static_cast<std::uint8_t>(entries);
        bytes[bank::header::entriesUsed + 1] = static_cast<std::uint8_t>(entries >> 8);
        loadAndPlay(song, bytes);
    }
}

TEST(RolMalformed, BrokenFilesOnDisk)
{
    TempDir dir;
    const Bytes song = rol::writeSong(richSong());
    const Bytes bank = richBank();
    auto save = [&](const char *name, const Bytes &bytes, std::size_t size) {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(size));
    };
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        const std::size_t songSize = std::uniform_int_distribution<std::size_t>(0, song.size())(random);
        const std::size_t bankSize = std::uniform_int_distribution<std::size_t>(0, bank.size())(random);
        save("song.rol", song, round % 2 ? songSize : song.size());
        save("song.bnk", bank, round % 2 ? bank.size() : bankSize);
        RecordingOpl chip;
        RolPlayer player(&chip);
        if (player.load((dir / "song.rol").string(), CProvider_Filesystem())) {
            int ticks = 0;
            while (player.update())
                ASSERT_LE(++ticks, 32767);
        }
    }
}

} // namespace
} // namespace velk::test
