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

// Whether the state is still the one a render from the start gives.
bool stillExact(velk_song &song)
{
    if (song.exactState && song.player->retunes() != song.retunesSeen)
        song.exactState = false;
    return song.exactState;
}

// Whether the listener's controls reach the chip's own state: gains always
// (they are total levels), muting on the emulators that mute by full
// attenuation. An operator's level there feeds back into its own next
// samples, so what the chip holds afterwards is not what it holds without.
bool controlsInChip(const velk_song &song)
{
    if (song.mutedVoices != 0 && song.emulator != VELK_EMULATOR_NUKED)
        return true;
    for (int v = 0; v < VELK_MAX_VOICES; ++v)
        if (song.voices->voiceGain(v) != 0)
            return true;
    return false;
}

bool restore(velk_song &song, const Snapshot &snapshot, ChipStateAccess &chip)
{
    if (!chip.restoreState(snapshot.chip))
        return false;
    song.player->restorePlayState(snapshot.play);
    song.voices->restore(snapshot.voices);
    song.nextTickMs = snapshot.nextTickMs;
    song.owedFrames = snapshot.owedFrames;
    song.pendingFrames = 0;
    song.ended = false;
    // The keying's frames are of the chip's clock, which runs on here.
    for (int v = 0; v < VELK_MAX_VOICES; ++v) {
        song.keying[v] = snapshot.keying[v];
        song.keying[v].onFrame = snapshot.keying[v].onFrame - snapshot.chipFrames + song.chipFrames;
        song.keying[v].offFrame = snapshot.keying[v].offFrame - snapshot.chipFrames + song.chipFrames;
    }
    song.exactState = !controlsInChip(song);
    song.retunesSeen = song.player->retunes();
    song.nextSnapshotMs = nextSpacingAfter(static_cast<double>(snapshot.nextTickMs));
    return true;
}

// The snapshot a seek to `ms` would restore, when it starts nearer the
// target than the song is (or the song cannot render on exactly).
std::shared_ptr<const Snapshot> snapshotFor(const velk_song &song, double ms, bool fromPosition)
{
    if (!song.snapshots)
        return nullptr;
    std::shared_ptr<const Snapshot> found = song.snapshots->latestAtOrBefore(snapshotSettings(song), ms);
    if (!found || ms - static_cast<double>(found->nextTickMs) > longestExactRunMs)
        return nullptr;
    if (fromPosition && static_cast<double>(found->nextTickMs) <= positionMs(song))
        return nullptr;
    return found;
}

// Whether the song can render on from where it is to `ms` exactly.
bool canRenderOn(const velk_song &song, double ms)
{
    const double position = positionMs(song);
    return song.exactState && !controlsInChip(song) && song.player->retunes() == song.retunesSeen && !song.ended && position <= ms &&
           ms - position <= longestExactRunMs;
}

} // namespace

void takeSnapshotIfDue(velk_song &song)
{
    if (static_cast<double>(song.nextTickMs) < song.nextSnapshotMs || song.ended || !stillExact(song))
        return;
    song.nextSnapshotMs = nextSpacingAfter(static_cast<double>(song.nextTickMs));
    ChipStateAccess *chip = chipStateOf(*song.voices);
    if (!chip)
        return;
    const SnapshotSettings settings = snapshotSettings(song);
    const std::shared_ptr<SnapshotStore> &store = snapshotStore(song);
    if (store->has(settings, song.player->tick()))
        return;
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->nextTickMs = song.nextTickMs;
    snapshot->owedFrames = song.owedFrames;
    snapshot->play = song.player->playState();
    snapshot->voices = song.voices->state();
    chip->saveState(snapshot->chip);
    snapshot->chip.shrink_to_fit();
    snapshot->chipFrames = song.chipFrames;
    std::copy(std::begin(song.keying), std::end(song.keying), std::begin(snapshot->keying));
    store->add(settings, std::move(snapshot));
}

void loseExactness(velk_song &song) { song.exactState = false; }

void noteRendering(velk_song &song)
{
    if (song.exactState && controlsInChip(song))
        song.exactState = false;
}

bool rendersAlikeInAnyBlocks(velk_emulator emulator)
{
    // woody decides some things once per block it is asked for (whether a
    // voice's vibrato and an idle channel are computed), and Ken's rhythm
    // noise starts again with every block: their samples follow how the
    // frames are asked for, so no seek gives a whole render's bit for bit.
    return emulator == VELK_EMULATOR_NUKED || emulator == VELK_EMULATOR_SATOH;
}

bool canSeekExactly(const velk_song &song, double ms)
{
    if (!rendersAlikeInAnyBlocks(song.emulator) || controlsInChip(song))
        return false;
    const double target = static_cast<double>(static_cast<float>(std::max(ms, 0.0)));
    return canRenderOn(song, target) || snapshotFor(song, target, false) != nullptr;
}

bool seekExactly(velk_song &song, double ms)
{
    const double target = static_cast<double>(static_cast<float>(std::max(ms, 0.0)));
    const bool onFromHere = canRenderOn(song, target);
    const std::shared_ptr<const Snapshot> snapshot = snapshotFor(song, target, onFromHere);
    ChipStateAccess *chip = snapshot ? chipStateOf(*song.voices) : nullptr;
    const bool restored = snapshot && chip && restore(song, *snapshot, *chip);
    if (!restored && !onFromHere)
        return false;
    renderUnheardTo(song, target);
    return true;
}

} // namespace velk::lib
