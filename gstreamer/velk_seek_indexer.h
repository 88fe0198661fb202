/* Builds a song's seek index on a thread of its own while the song plays,
 * so that its seeks become exact a few seconds after it opens. */
#ifndef VELK_GST_SEEK_INDEXER_H
#define VELK_GST_SEEK_INDEXER_H

#include <glib.h>

#include "libvelk/velk.h"

G_BEGIN_DECLS

typedef struct VelkSeekIndexer VelkSeekIndexer;

/* Makes the index (on the song's thread, as the library asks) and starts
 * building it; NULL when the song can have none (the message is logged). */
VelkSeekIndexer *velk_seek_indexer_start(velk_song *song);

/* How far the index has got, in ms of the song (its length once complete):
 * seeks up to there are exact. Any thread. */
gint64 velk_seek_indexer_reach_ms(VelkSeekIndexer *indexer);

/* Stops the building within one of its steps, waits for it and frees it
 * all. NULL is ignored. */
void velk_seek_indexer_stop(VelkSeekIndexer *indexer);

G_END_DECLS

#endif
