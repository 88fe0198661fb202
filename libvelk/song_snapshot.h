// Snapshots of a song: the whole state of the engine, the chip and the
// rendering at a tick, taken about every second of song time as the song
// renders, so that a seek can restore the latest one before its target and
// render on from there to the same samples a render from the start gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "libvelk/emulator_chip.h"
#include "libvelk/song_handle.h"
#include "libvelk/voice_attenuation.h"
#include "rol/rol_player.h"

namespace velk::lib {

// Song time between snapshots: they are taken at the first tick at or after
// each multiple of it, so that a song and its seek index take the same ones.
// Half a second: a seek then costs at most that of the chip (some 12 ms of
// a core with Nuked), for 12 KB a second of song with Nuked.
constexpr double snapshotSpacingMs = 500.0;

// The listener's settings a snapshot holds for (those of the open, the
// emulator, rate, channels and bends, are one song's and its index's).
struct SnapshotSettings {
    double tempo = 1.0;
    int transpose = 0;
    bool operator==(const SnapshotSettings &other) const
    {
        return tempo == other.tempo && transpose == other.transpose;
    }
};

struct Snapshot {
    float nextTickMs = 0.0f;  // song time of the tick the next update plays
    double owedFrames = 0.0;
    RolPlayer::PlayState play;
    VoiceAttenuationState voices;
    ChipState chip;
    // The chip's clock when it was taken, which the keying's frames count on.
    std::uint64_t chipFrames = 0;
    VoiceKeying keying[VELK_MAX_VOICES];

    std::size_t bytes() const { return sizeof *this + chip.capacity(); }
};

// The snapshots of one song, by settings and time: shared by the song and
// any seek index building for it, each on its own thread.
class SnapshotStore {
public:
    // Keeps `snapshot` unless one of that tick is kept already.
    void add(const SnapshotSettings &settings, std::shared_ptr<const Snapshot> snapshot);
    bool has(const SnapshotSettings &settings, int tick) const;
    // The latest at or before `ms`, or null.
    std::shared_ptr<const Snapshot> latestAtOrBefore(const SnapshotSettings &settings, double ms) const;
    // Song time of the latest (0 when there is none).
    double reachMs(const SnapshotSettings &settings) const;
    std::size_t bytes() const;

private:
    struct Series {
        SnapshotSettings settings;
        std::vector<std::shared_ptr<const Snapshot>> byTime;
    };
    const Series *find(const SnapshotSettings &settings) const;

    mutable std::mutex lock_;
    std::vector<Series> series_;
    std::size_t bytes_ = 0;
};

// What a snapshot of `song` would hold for now.
SnapshotSettings snapshotSettings(const velk_song &song);

// The store of the song's snapshots, made at first need.
const std::shared_ptr<SnapshotStore> &snapshotStore(velk_song &song);

// Takes a snapshot when one is due: the song is between ticks, its state is
// what a render from the start gives there, and the next multiple of the
// spacing has been reached.
void takeSnapshotIfDue(velk_song &song);

// Keeps the state of the song just opened (song.opening), where the chip's
// state can be copied.
void keepOpeningState(velk_song &song);

// The song's state is no longer what a render from the start under the
// current settings gives (a change of tempo or key while it plays): no
// snapshots are taken until a seek lands exactly again.
void loseExactness(velk_song &song);

// Called before frames render: gains (and muting, but on Nuked) act in the
// chip's own levels, so a state rendered under them is no longer exact.
void noteRendering(velk_song &song);

// Puts the song where a seek to `ms` renders on from, unheard: the latest
// of where it is (when that is not past `ms`), the latest snapshot at or
// before `ms`, and the song's start.
void startSeekFrom(velk_song &song, double ms);

// Whether a seek to `ms` now lands on the samples of a render from the
// start under the current settings: always, unless the listener's controls
// are in the chip's levels (gains, and muting but on Nuked; a snapshot then
// takes them at once, and the chip's feedback differs for a few samples) or
// the seek goes on from a state that is not exact.
bool canSeekExactly(const velk_song &song, double ms);

} // namespace velk::lib
