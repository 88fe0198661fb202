// The C functions of exact seeks: what the snapshots reach, and the seek
// index, an unheard twin of the song that renders it ahead and hands its
// snapshots over through the store they share.
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "libvelk/emulator_chip.h"
#include "libvelk/handle_errors.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_render.h"
#include "libvelk/song_snapshot.h"
#include "libvelk/song_twin.h"
#include "libvelk/velk.h"
#include "libvelk/voice_attenuation.h"
#include "rol/rol_player.h"

using velk::lib::setError;

struct velk_seek_index {
    // The twin: the song's settings and engine, its own chip, from the start.
    velk_song twin;
    std::vector<std::int16_t> scratch;
    std::atomic<std::int64_t> progressMs{0};
    bool complete = false;
};

namespace {

// Frames rendered at a time between checks of the budget.
constexpr std::size_t buildBlockFrames = 4096;

} // namespace

extern "C" {

VELK_API int velk_seek_is_exact(const velk_song *song, int64_t ms)
{
    if (!song)
        return -1;
    if (!song->open)
        return 0;
    return velk::lib::canSeekExactly(*song, static_cast<double>(ms)) ? 1 : 0;
}

VELK_API int64_t velk_snapshot_reach_ms(const velk_song *song)
{
    if (!song)
        return -1;
    if (!song->open || !song->snapshots)
        return 0;
    return static_cast<int64_t>(song->snapshots->reachMs(velk::lib::snapshotSettings(*song)));
}

VELK_API size_t velk_snapshot_bytes(const velk_song *song)
{
    return song && song->snapshots ? song->snapshots->bytes() : 0;
}

VELK_API velk_error velk_seek_index_new(velk_song *song, velk_seek_index **out)
{
    if (out)
        *out = nullptr;
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    if (!out)
        return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "no place to put the seek index");
    if (!song->open)
        return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "the song did not open");
    try {
        auto index = std::make_unique<velk_seek_index>();
        velk::lib::makeTwin(*song, index->twin, velk::lib::TwinControls::settingsOnly);
        index->twin.snapshots = velk::lib::snapshotStore(*song);
        *out = index.release();
        return VELK_OK;
    } catch (const std::bad_alloc &) {
        return setError(*song, VELK_ERROR_OUT_OF_MEMORY, "out of memory");
    } catch (const velk::lib::EmulatorBusy &busy) {
        // Ken's one chip is the song's own.
        return setError(*song, VELK_ERROR_BUSY, std::string("no seek index: ") + busy.what());
    } catch (const std::exception &e) {
        return setError(*song, VELK_ERROR_FORMAT, std::string("no seek index: ") + e.what());
    }
}

VELK_API int velk_seek_index_build(velk_seek_index *index, int64_t budget_ms)
{
    if (!index)
        return -1;
    velk_song &twin = index->twin;
    // Once the song is closed, the store is the index's alone: nobody is
    // left to build for.
    if (index->complete || twin.snapshots.use_count() == 1) {
        index->complete = true;
        index->progressMs.store(twin.lengthMs);
        return 1;
    }
    try {
        index->scratch.resize(buildBlockFrames * static_cast<std::size_t>(twin.channels));
        const double until = budget_ms > 0 ? velk::lib::positionMs(twin) + static_cast<double>(budget_ms) : 0.0;
        while (budget_ms <= 0 || velk::lib::positionMs(twin) < until) {
            if (velk::lib::renderFrames(twin, index->scratch.data(), buildBlockFrames) < buildBlockFrames) {
                index->complete = true;
                break;
            }
            index->progressMs.store(static_cast<std::int64_t>(velk::lib::positionMs(twin)));
        }
    } catch (...) {
        return -1;
    }
    index->progressMs.store(index->complete ? twin.lengthMs
                                            : static_cast<std::int64_t>(velk::lib::positionMs(twin)));
    return index->complete ? 1 : 0;
}

VELK_API int64_t velk_seek_index_progress_ms(const velk_seek_index *index)
{
    return index ? index->progressMs.load() : -1;
}

VELK_API void velk_seek_index_free(velk_seek_index *index) { delete index; }

} // extern "C"
