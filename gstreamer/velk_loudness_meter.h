/* Measures a song's loudness for its ReplayGain tags on a thread of its
 * own: a second handle opened from the same bytes with the same options
 * and controls as the one that plays, so that the playing one is never
 * touched off its thread and the stream does not wait for the measure. */
#ifndef VELK_GST_LOUDNESS_METER_H
#define VELK_GST_LOUDNESS_METER_H

#include <glib.h>

#include "libvelk/velk.h"

G_BEGIN_DECLS

/* The listener's controls the song plays with. */
typedef struct VelkControls {
    gdouble tempo;
    gint transpose;
    guint mute;
    gdouble gains[VELK_MAX_VOICES]; /* dB, 0 or less */
} VelkControls;

typedef struct VelkLoudnessMeter VelkLoudnessMeter;

/* Starts measuring `song` (its bytes; the options' strings are copied).
 * NULL when no thread can be had. */
VelkLoudnessMeter *velk_loudness_meter_start(GBytes *song, const velk_options *options, const VelkControls *controls);

/* TRUE once the measure is done and worked, with it in `out`. With `wait`,
 * waits for it to end first. Any thread. */
gboolean velk_loudness_meter_result(VelkLoudnessMeter *meter, gboolean wait, velk_loudness *out);

/* Lets go of the meter: a measure still running ends on its own and frees
 * what it holds (a song is measured in one piece and cannot stop midway).
 * NULL is ignored. */
void velk_loudness_meter_release(VelkLoudnessMeter *meter);

/* Gives the song the controls (the voices it lacks are passed over). */
void velk_controls_apply(velk_song *song, const VelkControls *controls);

G_END_DECLS

#endif
