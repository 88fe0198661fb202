#include "libvelk/song_snapshot.h"

#include <algorithm>
#include <cmath>

#include "libvelk/song_render.h"

namespace velk::lib {

const SnapshotStore::Series *SnapshotStore::find(const SnapshotSettings &settings) const
{
    for (const Series &series : series_)
        if (series.settings == settings)
            return &series;
    return nullptr;
}

void SnapshotStore::add(const SnapshotSettings &settings, std::shared_ptr<const Snapshot> snapshot)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto *series = const_cast<Series *>(find(settings));
    if (!series) {
        series_.push_back(Series{settings, {}});
        series = &series_.back();
    }
    auto &byTime = series->byTime;
    const auto at = std::lower_bound(byTime.begin(), byTime.end(), snapshot->play.tick,
                                     [](const auto &kept, int tick) { return kept->play.tick < tick; });
    if (at != byTime.end() && (*at)->play.tick == snapshot->play.tick)
        return;
    bytes_ += snapshot->bytes();
    byTime.insert(at, std::move(snapshot));
}

bool SnapshotStore::has(const SnapshotSettings &settings, int tick) const
{
    std::lock_guard<std::mutex> hold(lock_);
    const Series *series = find(settings);
    if (!series)
        return false;
    const auto &byTime = series->byTime;
    const auto at = std::lower_bound(byTime.begin(), byTime.end(), tick,
                                     [](const auto &kept, int t) { return kept->play.tick < t; });
    return at != byTime.end() && (*at)->play.tick == tick;
}

std::shared_ptr<const Snapshot> SnapshotStore::latestAtOrBefore(const SnapshotSettings &settings, double ms) const
{
    std::lock_guard<std::mutex> hold(lock_);
    const Series *series = find(settings);
    if (!series)
        return nullptr;
    const auto &byTime = series->byTime;
    const auto after = std::upper_bound(byTime.begin(), byTime.end(), ms, [](double t, const auto &kept) {
        return t < static_cast<double>(kept->nextTickMs);
    });
    return after == byTime.begin() ? nullptr : *(after - 1);
}

double SnapshotStore::reachMs(const SnapshotSettings &settings) const
{
    std::lock_guard<std::mutex> hold(lock_);
    const Series *series = find(settings);
    if (!series || series->byTime.empty())
        return 0.0;
    return static_cast<double>(series->byTime.back()->nextTickMs);
}

std::size_t SnapshotStore::bytes() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return bytes_;
}

SnapshotSettings snapshotSettings(const velk_song &song) { return SnapshotSettings{song.tempo, song.transpose}; }

const std::shared_ptr<SnapshotStore> &snapshotStore(velk_song &song)
{
    if (!song.snapshots)
        song.snapshots = std::make_shared<SnapshotStore>();
    return song.snapshots;
}

namespace {

double nextSpacingAfter(double ms) { return (std::floor(ms / snapshotSpacingMs) + 1.0) * snapshotSpacingMs; }

// The listener's controls that reach the chip's own state: gains always
// (they are total levels), muting on the emulators that mute by full
// attenuation. An operator's level there feeds back into its own next
// samples, so what the chip holds afterwards is not what it holds without.
ChipControls chipControls(const velk_song &song)
{
    ChipControls controls;
    if (song.emulator != VELK_EMULATOR_NUKED)
        controls.muted = song.mutedVoices;
    for (int v = 0; v < VELK_MAX_VOICES; ++v)
        controls.gains[v] = static_cast<std::uint8_t>(song.voices->voiceGain(v));
    return controls;
}

// Whether the state is still the one a render from the start gives under
// the current settings and controls.
bool stillExact(const velk_song &song)
{
    return song.exactState && (atSongStart(song) || (song.player->retunes() == song.retunesSeen &&
                                                      chipControls(song) == song.exactControls));
}

std::shared_ptr<Snapshot> capture(const velk_song &song, ChipStateAccess &chip)
{
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->nextTickMs = song.nextTickMs;
    snapshot->owedFrames = song.owedFrames;
    snapshot->play = song.player->playState();
    snapshot->voices = song.voices->state();
    chip.saveState(snapshot->chip);
    snapshot->chip.shrink_to_fit();
    snapshot->chipFrames = song.chipFrames;
    std::copy(std::begin(song.keying), std::end(song.keying), std::begin(snapshot->keying));
    return snapshot;
}

// The rendering's own state at a tick's start, nothing held or pending.
// A state restored from a snapshot (taken under no controls in the chip) is
// exact under none; the song's start under any.
void startRenderingAt(velk_song &song, float nextTickMs, double owedFrames, bool exactUnderAnyControls)
{
    song.nextTickMs = nextTickMs;
    song.owedFrames = owedFrames;
    song.pendingFrames = 0;
    song.held.clear();
    song.heldAt = 0;
    song.ended = false;
    song.exactControls = chipControls(song);
    song.exactState = exactUnderAnyControls || !song.exactControls.any();
    song.retunesSeen = song.player->retunes();
    song.nextSnapshotMs = nextSpacingAfter(static_cast<double>(nextTickMs));
}

bool restore(velk_song &song, const Snapshot &snapshot, ChipStateAccess &chip)
{
    if (!chip.restoreState(snapshot.chip))
        return false;
    song.player->restorePlayState(snapshot.play);
    song.voices->restore(snapshot.voices);
    // The keying's frames are of the chip's clock, which runs on here.
    for (int v = 0; v < VELK_MAX_VOICES; ++v) {
        song.keying[v] = snapshot.keying[v];
        song.keying[v].onFrame = snapshot.keying[v].onFrame - snapshot.chipFrames + song.chipFrames;
        song.keying[v].offFrame = snapshot.keying[v].offFrame - snapshot.chipFrames + song.chipFrames;
    }
    startRenderingAt(song, snapshot.nextTickMs, snapshot.owedFrames, false);
    return true;
}

// Back to the song as it opened. No note has played there, so one state
// serves every tempo and key (the key is the listener's, set again). Ken's
// chip cannot be copied: the engine's start resets it as at the open.
void restart(velk_song &song)
{
    ChipStateAccess *chip = chipStateOf(*song.voices);
    if (song.opening && chip && restore(song, *song.opening, *chip)) {
        song.player->setTranspose(song.transpose);
    } else {
        song.player->rewind(0);
        for (VoiceKeying &k : song.keying)
            k = VoiceKeying{};
    }
    startRenderingAt(song, 0.0f, 0.0, true);
    song.nextSnapshotMs = 0.0;
}

// The snapshot a seek to `ms` would restore: the latest before it, unless
// the song goes on from where it is to there from nearer.
std::shared_ptr<const Snapshot> snapshotFor(const velk_song &song, double ms, bool onFromHere)
{
    if (!song.snapshots)
        return nullptr;
    std::shared_ptr<const Snapshot> found = song.snapshots->latestAtOrBefore(snapshotSettings(song), ms);
    if (found && onFromHere && static_cast<double>(found->nextTickMs) <= positionMs(song))
        return nullptr;
    return found;
}

// Whether the song may render on from where it is to `ms`: what it plays
// there is what the listener would have heard by waiting.
bool canGoOn(const velk_song &song, double ms) { return positionMs(song) <= ms; }

} // namespace

void takeSnapshotIfDue(velk_song &song)
{
    if (static_cast<double>(song.nextTickMs) < song.nextSnapshotMs || song.ended || !stillExact(song) ||
        song.exactControls.any())
        return;
    song.nextSnapshotMs = nextSpacingAfter(static_cast<double>(song.nextTickMs));
    ChipStateAccess *chip = chipStateOf(*song.voices);
    if (!chip)
        return;
    const SnapshotSettings settings = snapshotSettings(song);
    const std::shared_ptr<SnapshotStore> &store = snapshotStore(song);
    if (!store->has(settings, song.player->tick()))
        store->add(settings, capture(song, *chip));
}

void keepOpeningState(velk_song &song)
{
    if (ChipStateAccess *chip = chipStateOf(*song.voices))
        song.opening = capture(song, *chip);
}

void loseExactness(velk_song &song) { song.exactState = false; }

void noteRendering(velk_song &song)
{
    if (song.exactState && atSongStart(song)) {
        // Controls and key set before anything played are the render's own.
        song.exactControls = chipControls(song);
        song.retunesSeen = song.player->retunes();
    }
    if (song.exactState && !stillExact(song))
        song.exactState = false;
}

void startSeekFrom(velk_song &song, double ms)
{
    const bool onFromHere = canGoOn(song, ms);
    if (const std::shared_ptr<const Snapshot> snapshot = snapshotFor(song, ms, onFromHere)) {
        ChipStateAccess *chip = chipStateOf(*song.voices);
        if (chip && restore(song, *snapshot, *chip))
            return;
    }
    if (!onFromHere)
        restart(song);
}

bool canSeekExactly(const velk_song &song, double ms)
{
    const double target = static_cast<double>(static_cast<float>(std::max(ms, 0.0)));
    const bool onFromHere = canGoOn(song, target);
    if (snapshotFor(song, target, onFromHere))
        return !chipControls(song).any();
    return !onFromHere || stillExact(song);
}

} // namespace velk::lib
