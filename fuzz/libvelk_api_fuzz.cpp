// The library through velk.h: a song and its bank opened from memory, then a
// script of the listener's calls (render, seek, mute, tempo, transposition,
// voice state, the score). One input holds them all: a little-endian 16-bit
// length and the song, a 16-bit length and the bank, then the script, three
// bytes a step (what, two arguments). Last, a seek on a fresh handle
// against the whole render there (the last two bytes: where, and how much
// plays before it).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "libvelk/velk.h"

namespace {

using velk::fuzz::require;

// Takes a 16-bit length and that many bytes (fewer at the input's end).
const std::uint8_t *takePart(const std::uint8_t *&at, const std::uint8_t *end, std::size_t &size)
{
    size = 0;
    if (end - at < 2)
        return at;
    size = std::min<std::size_t>(at[0] | at[1] << 8, static_cast<std::size_t>(end - at - 2));
    const std::uint8_t *part = at + 2;
    at = part + size;
    return part;
}

void checkScore(velk_song *song)
{
    const std::int64_t length = velk_length_ms(song);
    const int voices = velk_voice_count(song);
    require(voices == 9 || voices == 11, "a song has 9 or 11 voices");
    const std::size_t notes = velk_note_count(song);
    std::int64_t lastStart = 0;
    for (std::size_t i = 0; i < notes; ++i) {
        velk_note n;
        require(velk_note_at(song, i, &n) == VELK_OK, "every counted note can be read");
        require(n.voice >= 0 && n.voice < voices, "a note's voice is one of the song's");
        require(n.key >= 0 && n.key <= 127 && n.velocity >= 1 && n.velocity <= 127, "keys and velocities are MIDI's");
        require(n.start_tick <= n.end_tick && n.start_ms <= n.end_ms, "a note ends after it starts");
        require(n.start_ms >= 0 && n.end_ms <= length, "notes lie within the song's length");
        require(n.start_ms >= lastStart, "notes are ordered by start");
        require(n.instrument != nullptr, "a note names its instrument");
        lastStart = n.start_ms;
    }
    velk_note none;
    require(velk_note_at(song, notes, &none) != VELK_OK, "no note past the count");
    const std::size_t tempos = velk_tempo_count(song);
    require(tempos >= 1, "the tempo map has its first entry");
    for (std::size_t i = 0; i < tempos; ++i) {
        velk_tempo_change t;
        require(velk_tempo_at(song, i, &t) == VELK_OK, "every counted tempo can be read");
        require(i != 0 || t.tick == 0, "the tempo map starts at tick 0");
        require(t.ticks_per_second > 0.0 && t.beats_per_minute > 0.0, "tempos are positive");
    }
    for (std::size_t i = 0; i < velk_pitch_count(song); ++i) {
        velk_pitch_change p;
        require(velk_pitch_at(song, i, &p) == VELK_OK, "every counted pitch event can be read");
        require(p.semitones >= -1.0 && p.semitones <= 1.0, "a bend is within a semitone");
        require(p.time_ms >= 0 && p.time_ms <= length, "pitch events lie within the song");
    }
}

void checkVoices(velk_song *song)
{
    for (int v = 0; v < velk_voice_count(song); ++v) {
        velk_voice_state state;
        require(velk_voice_state_at(song, v, &state) == VELK_OK, "every voice has a state");
        require(state.level >= 0.0f && state.level <= 1.0f, "a level is within 0..1");
        require(!(velk_muted_voices(song) >> v & 1u) || state.level == 0.0f, "a muted voice's level is 0");
        require(state.key >= -1 && state.key <= 127 && state.instrument, "a voice's key and instrument are set");
        require(velk_voice_name(song, v) != nullptr, "every voice has a name");
    }
}

std::vector<std::int16_t> renderUpTo(velk_song *song, std::size_t frames)
{
    std::vector<std::int16_t> pcm(frames);
    std::size_t got = 0;
    for (long n; got < frames && (n = velk_render(song, pcm.data() + got, frames - got)) > 0;)
        got += static_cast<std::size_t>(n);
    pcm.resize(got);
    return pcm;
}

// After a seek to `target` (within the song's first two seconds, after
// `before` frames played) the next half second is the whole render's there,
// sample for sample (a fresh handle's seeks are exact on every emulator).
// One handle at a time, as Ken's emulator asks.
void checkSeekAgainstWholeRender(const std::uint8_t *songBytes, std::size_t songSize, const std::uint8_t *bankBytes,
                                 std::size_t bankSize, const velk_options &options, std::int64_t target,
                                 std::size_t before)
{
    const std::size_t window = static_cast<std::size_t>(options.sample_rate / 2);
    std::vector<std::int16_t> heard;
    std::int64_t at = 0;
    velk_song *song = nullptr;
    if (velk_open_memory(songBytes, songSize, bankBytes, bankSize, &options, &song) != VELK_OK) {
        velk_close(song);
        return;
    }
    renderUpTo(song, before);
    require(velk_seek_is_exact(song, target) == 1, "a fresh handle's seek is exact");
    require(velk_seek_ms(song, target) == VELK_OK, "a seek succeeds");
    at = velk_position_ms(song);
    heard = renderUpTo(song, window);
    velk_close(song);
    song = nullptr;
    require(velk_open_memory(songBytes, songSize, bankBytes, bankSize, &options, &song) == VELK_OK,
            "a song opens again");
    // The position is whole ms; the tick it names starts within a frame or
    // two of that.
    const std::size_t reach = static_cast<std::size_t>(options.sample_rate / 500 + 2);
    const std::size_t near = static_cast<std::size_t>(at * options.sample_rate / 1000);
    const std::vector<std::int16_t> whole = renderUpTo(song, near + reach + window);
    velk_close(song);
    if (heard.size() < window || whole.size() < near + reach + window)
        return;  // the song ends there
    bool same = false;
    for (std::size_t from = near > reach ? near - reach : 0; from <= near + reach && !same; ++from)
        same = std::equal(heard.begin(), heard.begin() + static_cast<long>(window), whole.begin() + static_cast<long>(from));
    require(same, "after a seek the half second is the whole render's, sample for sample");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::uint8_t *at = data, *end = data + size;
    std::size_t songSize, bankSize;
    const std::uint8_t *songBytes = takePart(at, end, songSize);
    const std::uint8_t *bankBytes = takePart(at, end, bankSize);
    if (songSize == 0 || bankSize == 0)
        return 0;

    velk_options options;
    velk_options_init(&options);
    options.sample_rate = 8000;
    options.channels = 1;
    options.emulator = at < end ? static_cast<velk_emulator>(1 + *at++ % 4) : VELK_EMULATOR_NUKED;
    velk_song *song = nullptr;
    if (velk_open_memory(songBytes, songSize, bankBytes, bankSize, &options, &song) != VELK_OK) {
        require(velk_error_message(song)[0] != '\0', "a failed open says why");
        velk_close(song);
        return 0;
    }

    std::vector<std::int16_t> pcm(2048);
    long budget = 80000;  // frames rendered per input (a seek counts what it renders), so that a run stays quick
    for (; end - at >= 3 && budget > 0; at += 3) {
        const int a = at[1], b = at[2];
        const std::int64_t before = velk_position_ms(song);
        switch (at[0] % 7) {
        case 0: {
            const std::size_t asked = 1 + static_cast<std::size_t>((a << 8 | b) % pcm.size());
            const long got = velk_render(song, pcm.data(), asked);
            require(got >= 0 && static_cast<std::size_t>(got) <= asked, "a render gives at most the frames asked");
            require(velk_position_ms(song) >= before, "rendering moves forward");
            budget -= got + 1;
            break;
        }
        case 1: {
            // A seek renders the song up to its target (from where it is, a
            // snapshot or the start): at most 8 s ahead, so that a run stays
            // quick, and charged as the frames that may take.
            const std::int64_t target =
                std::min<std::int64_t>(static_cast<std::int64_t>(a << 8 | b) * 40 - 1000, before + 8000);
            require(velk_seek_ms(song, target) == VELK_OK, "a seek anywhere succeeds");
            require(velk_position_ms(song) >= std::max<std::int64_t>(0, std::min(target, velk_length_ms(song))) - 1 ||
                        velk_position_ms(song) >= velk_length_ms(song) - 1,
                    "a seek lands at or after its target, or at the end");
            const double stretchMs = static_cast<double>(target > before ? target - before : std::max<std::int64_t>(target, 0));
            budget -= 1 + static_cast<long>(stretchMs * options.sample_rate / 1000.0 / velk_tempo(song));
            break;
        }
        case 2:
            require(velk_set_muted_voices(song, static_cast<std::uint32_t>(a | b << 8)) == VELK_OK, "any mask is taken");
            require((velk_muted_voices(song) >> velk_voice_count(song)) == 0, "masks keep only the song's voices");
            break;
        case 3: {
            const double tempo = 0.2 + a / 255.0 * 4.0;
            const bool inRange = tempo >= 0.25 && tempo <= 4.0;
            require((velk_set_tempo(song, tempo) == VELK_OK) == inRange, "tempos 0.25..4 are taken, others refused");
            break;
        }
        case 4: {
            const int semitones = a % 27 - 13;
            const bool inRange = semitones >= -12 && semitones <= 12;
            require((velk_set_transpose(song, semitones) == VELK_OK) == inRange,
                    "transpositions -12..12 are taken, others refused");
            break;
        }
        case 5:
            checkVoices(song);
            break;
        default:
            checkScore(song);
            break;
        }
        if (at[0] % 7 >= 2)
            require(velk_position_ms(song) == before, "no control or question moves the position");
    }
    velk_close(song);
    // The seek's check last, on fresh handles at the song's own tempo and key.
    checkSeekAgainstWholeRender(songBytes, songSize, bankBytes, bankSize, options,
                                static_cast<std::int64_t>(data[size - 1]) * 8, data[size - 2] * 16u);
    return 0;
}
