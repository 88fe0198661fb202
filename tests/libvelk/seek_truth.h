// The truth of a seek is the whole render: after velk_seek_ms(T) each voice
// alone (every other voice muted) and the mix must sound, window by window,
// as a render from the start does at T. A window whose reference is below
// the floor is not compared by level; there the seek must stay near silence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "tests/libvelk/song_generator.h"

namespace velk::test {

struct TruthOptions {
    int rate = 11025;          // mono; Nuked's work is the same at any rate
    double windowMs = 500.0;
    double spanMs = 5000.0;    // compared after each target
    // Windows quieter than this in the whole render are not compared by
    // level: 60 dB under full scale is some 45 dB under a voice played at
    // moderate volume, where the tail of a release has no audible level
    // left, and still 40 dB above the rounding of 16-bit samples.
    double floorDb = -60.0;
    double toleranceDb = 0.5;
    // A window silent in the whole render that the seek makes this much
    // louder than the floor counts as a fault (a note that should have
    // faded, or one struck that was not).
    double silentMarginDb = 10.0;
    // A window this much quieter than the whole render counts the voice as
    // left silent.
    double silencedDb = 20.0;
    // Seeks after the seeking handle's seek index is built (where the
    // emulator has one): they restore its snapshots.
    bool indexed = false;
    // Every seek must be exact, as velk.h promises: all of them without an
    // index; with one, those where no control acts in the chip (the mix, or
    // any voice alone on Nuked, which mutes outside the chip's state).
    bool requireExact = true;
};

// Index VELK_MAX_VOICES in the per-voice arrays is the mix.
constexpr int mixIndex = VELK_MAX_VOICES;

struct TruthReport {
    std::string song;
    velk_emulator emulator = VELK_EMULATOR_NUKED;
    int targets = 0;
    int voices = 0;
    // Per voice (and the mix), the difference in dB of largest size over
    // every target and window, where it happened, and per window.
    double worstDb[VELK_MAX_VOICES + 1] = {};
    std::int64_t worstTarget[VELK_MAX_VOICES + 1] = {};
    int worstWindow[VELK_MAX_VOICES + 1] = {};
    std::vector<double> worstDbOfWindow;
    int comparedWindows = 0;
    int failedWindows = 0;     // beyond the tolerance, or loud where silent
    int silencedVoices = 0;    // (target, voice) pairs left silent in a window that sounds
    int exactClaims = 0;       // seeks velk_seek_is_exact called exact
    int inexact = 0;           // of those, ones that were not the same samples
    int unclaimed = 0;         // seeks velk_seek_is_exact did not call exact
    int missingClaims = 0;     // of those, ones velk.h says are exact
    bool indexed = false;      // the seeks restored a seek index's snapshots
    std::vector<double> seekMs;  // what each seek cost (processor time)
    std::string firstFailure;

    bool failed() const { return failedWindows > 0 || inexact > 0 || missingClaims > 0; }
};

// Opens the song with these options, or returns null (with the reason in
// the message it may write).
using SongOpener = std::function<velk_song *(const velk_options &, std::string &error)>;

TruthReport checkSeeks(const std::string &name, const SongOpener &open, velk_emulator emulator,
                       std::vector<std::int64_t> targets, const TruthOptions &options = {});

SongOpener memoryOpener(const SongBytes &bytes);
SongOpener fileOpener(const std::string &path);

// chooseTargets on the song `open` opens, then `given`; just `given` when
// it does not open.
std::vector<std::int64_t> targetsOf(const SongOpener &open, std::uint32_t seed, int count,
                                    const std::vector<std::int64_t> &given = {});

// Targets worth seeking to in an open song: inside long notes, in legato
// chains, after a voice's long silence, in the last seconds, and a few
// anywhere; `count` of them at most, chosen from `seed`.
std::vector<std::int64_t> chooseTargets(velk_song *song, std::uint32_t seed, int count);

// One line per report: the worst difference per voice and of the mix.
std::string describe(const TruthReport &report);

double medianOf(std::vector<double> values);

} // namespace velk::test
