/* The voice-gains property's text: "VOICE=DB,...", each voice's own
 * attenuation, voices named as velkplay and velkrender name them. */
#ifndef VELK_GST_VOICE_GAINS_H
#define VELK_GST_VOICE_GAINS_H

#include <glib.h>

#include "libvelk/velk.h"

G_BEGIN_DECLS

/* Reads `text` (NULL or "" for every voice at 0 dB) into `gains`, one for
 * each of VELK_MAX_VOICES (unnamed voices 0). VOICE is 1 to 11, or a drum
 * song's rhythm voices as bd, sd, tt, cy, hh (or b, s, t, c, h); DB is 0
 * down to -47.25, "dB" after it allowed. FALSE, `gains` untouched and
 * `why` set, for anything else. */
gboolean velk_voice_gains_parse(const gchar *text, gdouble *gains, gchar **why);

G_END_DECLS

#endif
