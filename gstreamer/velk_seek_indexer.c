#include "gstreamer/velk_seek_indexer.h"

#include <stdatomic.h>
#include <stdbool.h>

#include <gst/gst.h>

GST_DEBUG_CATEGORY_STATIC(velk_seek_indexer_debug);
#define GST_CAT_DEFAULT velk_seek_indexer_debug

/* Song time rendered per step: tens of milliseconds of the chip, so that
 * closing or changing songs never waits long for the builder. */
#define VELK_INDEX_STEP_MS 500

struct VelkSeekIndexer {
    velk_seek_index *index;
    GThread *thread;
    atomic_bool stop;
    _Atomic int64_t reach_ms;
};

static gpointer build(gpointer data)
{
    VelkSeekIndexer *indexer = data;
    const gint64 started = g_get_monotonic_time();
    int done = 0;
    while (done == 0 && !atomic_load(&indexer->stop)) {
        done = velk_seek_index_build(indexer->index, VELK_INDEX_STEP_MS);
        atomic_store(&indexer->reach_ms, velk_seek_index_progress_ms(indexer->index));
    }
    GST_DEBUG("seek index %s at %" G_GINT64_FORMAT " ms after %" G_GINT64_FORMAT " ms",
              done > 0 ? "complete" : done < 0 ? "failed" : "stopped", (gint64)atomic_load(&indexer->reach_ms),
              (g_get_monotonic_time() - started) / 1000);
    return NULL;
}

VelkSeekIndexer *velk_seek_indexer_start(velk_song *song)
{
    static gsize debug_ready = 0;
    if (g_once_init_enter(&debug_ready)) {
        GST_DEBUG_CATEGORY_INIT(velk_seek_indexer_debug, "velkdec-index", 0, "velkdec's background seek index");
        g_once_init_leave(&debug_ready, 1);
    }
    velk_seek_index *index = NULL;
    if (velk_seek_index_new(song, &index) != VELK_OK || !index) {
        GST_WARNING("no seek index: %s", velk_error_message(song));
        velk_seek_index_free(index);
        return NULL;
    }
    VelkSeekIndexer *indexer = g_new0(VelkSeekIndexer, 1);
    indexer->index = index;
    atomic_init(&indexer->stop, false);
    atomic_init(&indexer->reach_ms, 0);
    GError *error = NULL;
    indexer->thread = g_thread_try_new("velkdec-index", build, indexer, &error);
    if (!indexer->thread) {
        GST_WARNING("no thread for the seek index: %s", error->message);
        g_error_free(error);
        velk_seek_index_free(index);
        g_free(indexer);
        return NULL;
    }
    return indexer;
}

gint64 velk_seek_indexer_reach_ms(VelkSeekIndexer *indexer)
{
    return indexer ? (gint64)atomic_load(&indexer->reach_ms) : 0;
}

void velk_seek_indexer_stop(VelkSeekIndexer *indexer)
{
    if (!indexer)
        return;
    atomic_store(&indexer->stop, true);
    g_thread_join(indexer->thread);
    velk_seek_index_free(indexer->index);
    g_free(indexer);
}
