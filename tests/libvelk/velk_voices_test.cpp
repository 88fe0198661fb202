// The inside of the song through velk.h: seeks that sound as the whole song
// does, voices alone that add up to the whole, the levels shown against
// what each voice makes heard, tempo and key changes as heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "tests/rol/song_building.h"
#include "tests/support/songs.h"
#include "tools/bankmaker/bank_text.h"

namespace {

using velk::Bytes;

constexpr int rate = 22050;  // mono: the chip's work is the same at any rate, the tests' is not

struct Song {
    velk_song *handle = nullptr;
    ~Song() { velk_close(handle); }
};

bool openFile(Song &song, const std::string &path, velk_emulator emulator)
{
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = rate;
    options.channels = 1;
    options.emulator = emulator;
    const bool ok = velk_open_file(path.c_str(), &options, &song.handle) == VELK_OK;
    if (!ok)
        ADD_FAILURE() << path << ": " << velk_error_message(song.handle);
    return ok;
}

std::vector<std::int16_t> renderAll(velk_song *song, std::size_t most = SIZE_MAX)
{
    std::vector<std::int16_t> pcm;
    std::int16_t block[4096];
    long n;
    while (pcm.size() < most && (n = velk_render(song, block, std::min<std::size_t>(4096, most - pcm.size()))) > 0)
        pcm.insert(pcm.end(), block, block + n);
    return pcm;
}

double rms(const std::int16_t *samples, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

double db(double a, double b) { return 20.0 * std::log10(std::max(a, 1e-9) / std::max(b, 1e-9)); }

std::size_t frameAt(double ms) { return static_cast<std::size_t>(ms * rate / 1000.0); }

// ---- Seeks ---------------------------------------------------------------

// After a seek to T the stretch [T+0.5 s, T+3 s] is as loud as in the whole
// render, at every 30 s. Seeks go backwards, so each starts the song again
// and steps to its target: the hardest way to get there.
void expectSeeksSoundRight(const std::string &name, velk_emulator emulator)
{
    VELK_REQUIRE_REAL_SONG(path, name);
    std::vector<std::int16_t> reference;
    {
        // One at a time: Ken's emulator plays one song per process.
        Song whole;
        if (!openFile(whole, path.string(), emulator))
            return;
        reference = renderAll(whole.handle);
    }
    Song seeking;
    if (!openFile(seeking, path.string(), emulator))
        return;
    const std::int64_t length = velk_length_ms(seeking.handle);
    double worst = 0.0;
    std::int64_t worstAt = 0;
    for (std::int64_t t = (length - 3000) / 30000 * 30000; t >= 30000; t -= 30000) {
        ASSERT_EQ(velk_seek_ms(seeking.handle, t), VELK_OK);
        // The seek lands on the first tick at or after T: compare from there.
        const double at = static_cast<double>(velk_position_ms(seeking.handle));
        const std::vector<std::int16_t> heard = renderAll(seeking.handle, frameAt(3000));
        ASSERT_EQ(heard.size(), frameAt(3000));
        const std::size_t from = frameAt(500), count = frameAt(2500);
        const double difference =
            db(rms(heard.data() + from, count), rms(reference.data() + frameAt(at) + from, count));
        if (std::fabs(difference) > std::fabs(worst)) {
            worst = difference;
            worstAt = t;
        }
    }
    std::printf("seek %s %s: worst %+.2f dB (at %lld ms)\n", name.c_str(), velk_emulator_name(emulator), worst,
                static_cast<long long>(worstAt));
    EXPECT_LE(std::fabs(worst), 0.5) << name << " on " << velk_emulator_name(emulator) << " at " << worstAt << " ms";
}

TEST(VelkSeek, SoundsAsTheWholeSongOnEveryEmulator)
{
    for (const char *name : {"go-_-go.ims", "AMG0018.IMS"})
        for (velk_emulator e : {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY, VELK_EMULATOR_KEN})
            expectSeeksSoundRight(name, e);
}

// ---- Made songs ------------------------------------------------------------

// One held note (engine note `note`, MIDI key note + 12) of an organ that
// rises slowly, at 8 ticks a second, `ticks` long.
Bytes heldNoteSong(int note, int ticks, std::uint8_t mode = velk::rol::modeMelodic)
{
    velk::rol::Song song = velk::test::emptySong(mode);
    velk::test::setNotes(song.voices[0], {{static_cast<std::int16_t>(note + 12), static_cast<std::int16_t>(ticks)}});
    song.voices[0].timbres = {velk::test::timbreAt(0, "organ")};
    return velk::rol::writeSong(song);
}

Bytes organBank()
{
    return velk::bank::writeBank(velk::bank::parseBankText(
                                     "instrument organ\n"
                                     "  modulator multiplier=1 level=63 attack=15 decay=0 sustain=0 release=5\n"
                                     "  carrier   multiplier=1 attack=4 decay=0 sustain=0 release=5 sustaining=1\n")
                                     .instruments);
}

bool openMemory(Song &song, const Bytes &rol, const Bytes &bank)
{
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = rate;
    options.channels = 1;
    return velk_open_memory(rol.data(), rol.size(), bank.data(), bank.size(), &options, &song.handle) == VELK_OK;
}

// The main frequency by counting upward zero crossings.
double frequencyOf(const std::vector<std::int16_t> &pcm, std::size_t from, std::size_t count)
{
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + count && i < pcm.size(); ++i)
        crossings += pcm[i - 1] < 0 && pcm[i] >= 0;
    return crossings * static_cast<double>(rate) / static_cast<double>(count);
}

// A note that takes about 350 ms to rise is at full level 3 s in: a seek
// there must not strike it anew (it would start from silence).
TEST(VelkSeek, RunsTheChipBeforeTheTarget)
{
    Song whole, seeking;
    ASSERT_TRUE(openMemory(whole, heldNoteSong(48, 80), organBank()));
    ASSERT_TRUE(openMemory(seeking, heldNoteSong(48, 80), organBank()));
    const std::vector<std::int16_t> reference = renderAll(whole.handle);
    ASSERT_EQ(velk_seek_ms(seeking.handle, 3000), VELK_OK);
    const std::vector<std::int16_t> heard = renderAll(seeking.handle, frameAt(200));
    const double difference = db(rms(heard.data(), heard.size()), rms(reference.data() + frameAt(3000), heard.size()));
    EXPECT_LT(std::fabs(difference), 0.5) << difference << " dB";
    velk_voice_state state;
    ASSERT_EQ(velk_voice_state_at(seeking.handle, 0, &state), VELK_OK);
    EXPECT_GT(state.level, 0.9f);
}

TEST(VelkControls, TempoKeepsThePitchAndTransposeMovesIt)
{
    Song plain, fast, high;
    const Bytes rol = heldNoteSong(45, 40);  // A, 5 s
    ASSERT_TRUE(openMemory(plain, rol, organBank()));
    ASSERT_TRUE(openMemory(fast, rol, organBank()));
    ASSERT_TRUE(openMemory(high, rol, organBank()));
    ASSERT_EQ(velk_set_tempo(fast.handle, 2.0), VELK_OK);
    ASSERT_EQ(velk_set_transpose(high.handle, 12), VELK_OK);
    EXPECT_EQ(velk_set_tempo(fast.handle, 5.0), VELK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(velk_set_transpose(high.handle, -13), VELK_ERROR_INVALID_ARGUMENT);

    const std::vector<std::int16_t> a = renderAll(plain.handle), b = renderAll(fast.handle), c = renderAll(high.handle);
    const double half = static_cast<double>(a.size()) / 2.0;
    std::printf("tempo 2: %zu frames against %zu (%.4f); ", b.size(), a.size(), b.size() / static_cast<double>(a.size()));
    EXPECT_LE(std::fabs(static_cast<double>(b.size()) - half), 4096.0);
    EXPECT_EQ(velk_position_ms(fast.handle), velk_position_ms(plain.handle)) << "song time at either tempo";

    const std::size_t from = frameAt(1000), count = frameAt(1000);
    const double fa = frequencyOf(a, from, count), fb = frequencyOf(b, from, count), fc = frequencyOf(c, from, count);
    std::printf("main frequency %.1f Hz, at tempo 2 %.1f Hz, transposed +12 %.1f Hz (x%.3f)\n", fa, fb, fc, fc / fa);
    EXPECT_NEAR(fb, fa, 2.0);
    EXPECT_NEAR(fc / fa, 2.0, 0.02);
}

// Controls change what is heard from the next frame, never the position.
TEST(VelkControls, NoneMovesThePosition)
{
    Song song;
    ASSERT_TRUE(openMemory(song, heldNoteSong(45, 40), organBank()));
    std::vector<std::int16_t> pcm(frameAt(1234));
    ASSERT_EQ(velk_render(song.handle, pcm.data(), pcm.size()), static_cast<long>(pcm.size()));
    const std::int64_t before = velk_position_ms(song.handle);
    EXPECT_EQ(velk_set_tempo(song.handle, 0.25), VELK_OK);
    EXPECT_EQ(velk_set_transpose(song.handle, -7), VELK_OK);
    EXPECT_EQ(velk_set_muted_voices(song.handle, 1u), VELK_OK);
    EXPECT_EQ(velk_position_ms(song.handle), before);
    ASSERT_EQ(velk_render(song.handle, pcm.data(), 2000), 2000);
    EXPECT_EQ(rms(pcm.data(), 2000), 0.0) << "the muted voice is silent from the next frame";
    velk_voice_state state;
    ASSERT_EQ(velk_voice_state_at(song.handle, 0, &state), VELK_OK);
    EXPECT_EQ(state.key, 45 + 12 - 7);
    EXPECT_EQ(state.level, 0.0f);
}


// ---- Voices alone and their levels -----------------------------------------

// Each voice alone, 50 ms at a time, with its level read before each stretch.
struct Solo {
    std::vector<std::int16_t> pcm;
    std::vector<float> levels;
};

constexpr std::size_t meterFrames = rate / 20;

Solo renderVoices(const std::string &path, std::uint32_t muted, int voice, std::size_t frames)
{
    Solo solo;
    Song song;
    if (!openFile(song, path, VELK_EMULATOR_NUKED))
        return solo;
    EXPECT_EQ(velk_set_muted_voices(song.handle, muted), VELK_OK);
    std::vector<std::int16_t> block(meterFrames);
    while (solo.pcm.size() < frames) {
        velk_voice_state state{};
        if (voice >= 0)
            velk_voice_state_at(song.handle, voice, &state);
        const long n = velk_render(song.handle, block.data(), block.size());
        if (n <= 0)
            break;
        solo.levels.push_back(state.level);
        solo.pcm.insert(solo.pcm.end(), block.begin(), block.begin() + n);
    }
    return solo;
}

// The chip adds its voices before the output: the voices rendered alone add
// up to the whole. And each voice's level is above 0 where it sounds alone,
// near 0 where it is silent.
TEST(VelkVoices, AloneTheyAddUpToTheWholeAndTheirLevelsFollowThem)
{
    for (const char *name : {"go-_-go.ims", "AMG0018.IMS"}) {
        VELK_REQUIRE_REAL_SONG(path, name);
        const std::size_t frames = frameAt(15000);
        const Solo whole = renderVoices(path.string(), 0, -1, frames);
        Song probe;
        ASSERT_TRUE(openFile(probe, path.string(), VELK_EMULATOR_NUKED));
        const int voices = velk_voice_count(probe.handle);
        ASSERT_EQ(voices, 11);
        velk_close(probe.handle);
        probe.handle = nullptr;

        std::vector<int> sum(whole.pcm.size(), 0);
        int agree = 0, judged = 0;
        for (int v = 0; v < voices; ++v) {
            const Solo solo = renderVoices(path.string(), ((1u << voices) - 1) & ~(1u << v), v, frames);
            ASSERT_EQ(solo.pcm.size(), whole.pcm.size());
            for (std::size_t i = 0; i < sum.size(); ++i)
                sum[i] += solo.pcm[i];
            for (std::size_t b = 0; b < solo.levels.size(); ++b) {
                const double loud = rms(solo.pcm.data() + b * meterFrames,
                                        std::min(meterFrames, solo.pcm.size() - b * meterFrames));
                if (loud > 30.0) {
                    ++judged;
                    agree += solo.levels[b] > 0.0f;
                } else if (loud < 1.0) {
                    ++judged;
                    agree += solo.levels[b] < 0.01f;
                }
            }
        }
        int worst = 0;
        for (std::size_t i = 0; i < sum.size(); ++i)
            worst = std::max(worst, std::abs(sum[i] - whole.pcm[i]));
        const double agreement = 100.0 * agree / std::max(1, judged);
        std::printf("%s: voices alone against the whole, largest difference %d steps; levels agree with the "
                    "voice alone in %d of %d windows of 50 ms (%.1f%%)\n",
                    name, worst, agree, judged, agreement);
        EXPECT_LE(worst, voices) << name;
        EXPECT_GE(agreement, 90.0) << name;
    }
}

// At tempo 1.5 the lyric highlights still light as their notes are heard:
// the position reported while rendering (song time) when a voice keys a note
// is the highlight's time. The songs' README counts 153 of AMG0018's 185
// records on a note onset.
TEST(VelkControls, LyricsStayOnTheirNotesAtAnotherTempo)
{
    VELK_REQUIRE_REAL_SONG(path, "AMG0018.IMS");
    Song song;
    ASSERT_TRUE(openFile(song, path.string(), VELK_EMULATOR_NUKED));
    ASSERT_GT(velk_lyrics_highlight_count(song.handle), 0u) << "AMG0018.ISS beside the song";
    ASSERT_EQ(velk_set_tempo(song.handle, 1.5), VELK_OK);
    std::vector<std::int64_t> onsets;
    std::vector<velk_voice_state> last(static_cast<std::size_t>(velk_voice_count(song.handle)));
    std::int16_t block[32];
    long n;
    do {
        for (int v = 0; v < velk_voice_count(song.handle); ++v) {
            velk_voice_state state;
            velk_voice_state_at(song.handle, v, &state);
            if (state.sounding && (!last[v].sounding || last[v].key != state.key))
                onsets.push_back(velk_position_ms(song.handle));
            last[v] = state;
        }
        n = velk_render(song.handle, block, 32);
    } while (n > 0);
    int onNote = 0;
    const std::size_t count = velk_lyrics_highlight_count(song.handle);
    for (std::size_t i = 0; i < count; ++i) {
        velk_highlight h;
        ASSERT_EQ(velk_lyrics_highlight(song.handle, i, &h), VELK_OK);
        onNote += std::any_of(onsets.begin(), onsets.end(), [&](std::int64_t t) { return std::llabs(t - h.time_ms) <= 3; });
    }
    std::printf("tempo 1.5: %d of %zu highlights on a note heard\n", onNote, count);
    EXPECT_GE(onNote, 153);
}

} // namespace

// ---- Each voice's own volume -------------------------------------------------

namespace {

struct Write {
    std::uint64_t frame;
    int reg, value;
};

void keepWrite(void *user, std::uint64_t frame, int reg, int value)
{
    static_cast<std::vector<Write> *>(user)->push_back({frame, reg, value});
}

} // namespace

// A voice alone at -6 dB is 6 dB below itself at 0 on every emulator, for a
// melodic voice and a drum; the gain reads back in the chip's steps and out
// of range is refused.
TEST(VelkVoiceGain, LowersTheVoiceAloneByItsStepsOnEveryEmulator)
{
    VELK_REQUIRE_REAL_SONG(path, "AMG0018.IMS");
    const std::size_t frames = frameAt(12000);
    for (const velk_emulator emulator : {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY}) {
        for (const int voice : {0, 7}) {
            double level[2] = {};
            for (int g = 0; g < 2; ++g) {
                Song song;
                ASSERT_TRUE(openFile(song, path.string(), emulator));
                ASSERT_EQ(velk_set_muted_voices(song.handle, ((1u << 11) - 1) & ~(1u << voice)), VELK_OK);
                ASSERT_EQ(velk_set_voice_gain(song.handle, voice, g ? -6.0 : 0.0), VELK_OK);
                const std::vector<std::int16_t> pcm = renderAll(song.handle, frames);
                level[g] = rms(pcm.data(), pcm.size());
            }
            ASSERT_GT(level[0], 10.0) << "voice " << voice << " sounds alone";
            // fmopl (satoh) works out its drums' levels coarsely: its snare
            // comes out about 5 dB down.
            const double within = emulator == VELK_EMULATOR_SATOH && voice >= 6 ? 1.2 : 0.3;
            EXPECT_NEAR(db(level[1], level[0]), -6.0, within) << velk_emulator_name(emulator) << " voice " << voice;
        }
    }
    Song song;
    ASSERT_TRUE(openFile(song, path.string(), VELK_EMULATOR_NUKED));
    EXPECT_EQ(velk_set_voice_gain(song.handle, 2, -1.0), VELK_OK);
    EXPECT_EQ(velk_voice_gain(song.handle, 2), -0.75);
    EXPECT_EQ(velk_set_voice_gain(song.handle, 2, -47.25), VELK_OK);
    EXPECT_EQ(velk_voice_gain(song.handle, 2), -47.25);
    EXPECT_EQ(velk_set_voice_gain(song.handle, 2, -48.0), VELK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(velk_set_voice_gain(song.handle, 2, 0.5), VELK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(velk_set_voice_gain(song.handle, 11, -3.0), VELK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(velk_voice_gain(song.handle, 2), -47.25) << "a refused gain leaves the one set";
}

// The writes the chip hears: the song's own without controls; with a gain,
// only the output operators' levels differ, by the steps (held at 63), and
// the modulator of an FM channel keeps its own.
TEST(VelkVoiceGain, ReachesOnlyTheOutputOperatorsLevels)
{
    VELK_REQUIRE_REAL_SONG(path, "AMG0018.IMS");
    std::vector<Write> plain, gained;
    for (std::vector<Write> *writes : {&plain, &gained}) {
        Song song;
        ASSERT_TRUE(openFile(song, path.string(), VELK_EMULATOR_NUKED));
        if (writes == &gained) {
            ASSERT_EQ(velk_set_voice_gain(song.handle, 0, -6.0), VELK_OK);  // 8 steps
        }
        ASSERT_EQ(velk_set_write_listener(song.handle, keepWrite, writes), VELK_OK);
        renderAll(song.handle, frameAt(20000));
    }
    // Setting the gain is one write of the carrier's level, at once.
    ASSERT_EQ(gained.size(), plain.size() + 1);
    std::size_t extra = 0;
    while (extra < plain.size() && plain[extra].reg == gained[extra].reg)
        ++extra;
    EXPECT_EQ(gained[extra].reg, 0x43);
    gained.erase(gained.begin() + static_cast<std::ptrdiff_t>(extra));
    int connection = 0, carrierWrites = 0, modulatorWrites = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_EQ(plain[i].reg, gained[i].reg) << i;
        ASSERT_EQ(plain[i].frame, gained[i].frame) << i;
        if (plain[i].reg == 0xC0)
            connection = plain[i].value & 1;
        const bool carrier = plain[i].reg == 0x43;
        const bool modulator = plain[i].reg == 0x40;
        if (carrier || (modulator && connection)) {
            const int v = plain[i].value;
            EXPECT_EQ(gained[i].value, (v & 0xC0) | std::min(63, (v & 0x3F) + 8)) << i;
            carrierWrites += carrier;
        } else {
            EXPECT_EQ(gained[i].value, plain[i].value) << i;
            modulatorWrites += modulator && !connection;
        }
    }
    EXPECT_GT(carrierWrites, 0);
    EXPECT_GT(modulatorWrites, 0);
}

// ---- Loudness ----------------------------------------------------------------

namespace {

// 16-bit stereo 44100 Hz PCM as a WAV file.
bool writeWav(const std::string &path, const std::vector<std::int16_t> &pcm)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, out); };
    const auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, out); };
    const auto bytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::fwrite("RIFF", 1, 4, out);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, out);
    u32(16), u16(1), u16(2), u32(44100), u32(44100 * 4), u16(4), u16(16);
    std::fwrite("data", 1, 4, out);
    u32(bytes);
    std::fwrite(pcm.data(), 2, pcm.size(), out);
    return std::fclose(out) == 0;
}

// Debian's loudgain on `path`: integrated LUFS and true peak; false when it
// is not installed.
bool loudgainOf(const std::string &path, double &lufs, double &peak)
{
    const std::string command = "loudgain -O -s s '" + path + "' 2>/dev/null";
    std::FILE *in = popen(command.c_str(), "r");
    if (!in)
        return false;
    char line[512];
    bool found = false;
    while (std::fgets(line, sizeof line, in))
        if (std::strncmp(line, path.c_str(), path.size()) == 0 && line[path.size()] == '\t')
            found = std::sscanf(line + path.size(), "\t%lf LUFS\t%*f %*s\t%lf", &lufs, &peak) == 2;
    return pclose(in) == 0 && found;
}

} // namespace

// The library's figures are loudgain's on the same render, within 0.1 dB;
// measuring leaves the position, is kept until a control changes, and a
// voice turned down makes the song quieter.
TEST(VelkLoudness, AgreesWithLoudgainAndFollowsTheControls)
{
    VELK_REQUIRE_REAL_SONG(path, "go-_-go.ims");
    if (std::system("command -v loudgain >/dev/null") != 0)
        GTEST_SKIP() << "loudgain is not installed (Debian's loudgain; tools/bootstrap.sh installs it)";
    velk_options options;
    velk_options_init(&options);
    Song song;
    ASSERT_EQ(velk_open_file(path.string().c_str(), &options, &song.handle), VELK_OK);
    ASSERT_EQ(velk_set_voice_gain(song.handle, 1, -3.0), VELK_OK);
    std::int16_t head[2 * 1000];
    ASSERT_EQ(velk_render(song.handle, head, 1000), 1000);
    const std::int64_t position = velk_position_ms(song.handle);

    velk_loudness measured{};
    ASSERT_EQ(velk_measure_loudness(song.handle, &measured), VELK_OK) << velk_error_message(song.handle);
    EXPECT_EQ(velk_position_ms(song.handle), position);
    EXPECT_NEAR(measured.track_gain_db, VELK_REFERENCE_LUFS - measured.integrated_lufs, 1e-9);
    EXPECT_LE(measured.sample_peak, measured.true_peak + 1e-9);

    // The whole render, from a second handle with the same controls.
    Song whole;
    ASSERT_EQ(velk_open_file(path.string().c_str(), &options, &whole.handle), VELK_OK);
    ASSERT_EQ(velk_set_voice_gain(whole.handle, 1, -3.0), VELK_OK);
    std::vector<std::int16_t> pcm;
    std::int16_t block[2 * 4096];
    long n;
    while ((n = velk_render(whole.handle, block, 4096)) > 0)
        pcm.insert(pcm.end(), block, block + 2 * n);
    int largest = 0;
    for (const std::int16_t s : pcm)
        largest = std::max(largest, std::abs(static_cast<int>(s)));
    EXPECT_NEAR(measured.sample_peak, largest / 32768.0, 1e-6);
    const std::string wav = ::testing::TempDir() + "velk_loudness.wav";
    ASSERT_TRUE(writeWav(wav, pcm));
    double lufs = 0.0, peak = 0.0;
    ASSERT_TRUE(loudgainOf(wav, lufs, peak)) << "loudgain could not scan " << wav;
    std::remove(wav.c_str());
    std::printf("go-_-go: %.2f LUFS (loudgain %.2f), true peak %.6f (loudgain %.6f)\n", measured.integrated_lufs,
                lufs, measured.true_peak, peak);
    EXPECT_NEAR(measured.integrated_lufs, lufs, 0.1);
    EXPECT_NEAR(20 * std::log10(measured.true_peak), 20 * std::log10(peak), 0.1);

    velk_loudness again{};
    ASSERT_EQ(velk_measure_loudness(song.handle, &again), VELK_OK);
    EXPECT_EQ(again.integrated_lufs, measured.integrated_lufs);
    ASSERT_EQ(velk_set_voice_gain(song.handle, 1, -12.0), VELK_OK);
    ASSERT_EQ(velk_measure_loudness(song.handle, &again), VELK_OK);
    EXPECT_LT(again.integrated_lufs, measured.integrated_lufs - 0.05) << "a voice turned down is measured anew";
}
