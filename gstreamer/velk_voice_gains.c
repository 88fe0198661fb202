#include "gstreamer/velk_voice_gains.h"

#include <stdlib.h>
#include <string.h>

/* The rhythm voices' names, from voice 7 (index 6) on. */
static const char *const drum_names[][2] = {{"bd", "b"}, {"sd", "s"}, {"tt", "t"}, {"cy", "c"}, {"hh", "h"}};
#define VELK_FIRST_DRUM 6
#define VELK_QUIETEST_GAIN (-47.25)

static int voice_named(const gchar *name)
{
    char *end = NULL;
    const long number = strtol(name, &end, 10);
    if (end != name && *end == '\0')
        return number >= 1 && number <= VELK_MAX_VOICES ? (int)number - 1 : -1;
    for (int drum = 0; drum < (int)G_N_ELEMENTS(drum_names); ++drum)
        if (g_ascii_strcasecmp(name, drum_names[drum][0]) == 0 || g_ascii_strcasecmp(name, drum_names[drum][1]) == 0)
            return VELK_FIRST_DRUM + drum;
    return -1;
}

static gboolean gain_of(const gchar *text, gdouble *db)
{
    char *end = NULL;
    const gdouble value = g_ascii_strtod(text, &end);
    if (end == text)
        return FALSE;
    if (g_ascii_strcasecmp(end, "db") == 0)
        end += 2;
    if (*end != '\0' || !(value <= 0 && value >= VELK_QUIETEST_GAIN))
        return FALSE;
    *db = value;
    return TRUE;
}

gboolean velk_voice_gains_parse(const gchar *text, gdouble *gains, gchar **why)
{
    gdouble read[VELK_MAX_VOICES] = {0};
    gchar **items = g_strsplit(text ? text : "", ",", -1);
    gboolean ok = TRUE;
    for (gchar **item = items; ok && *item; ++item) {
        gchar *entry = g_strstrip(*item);
        if (*entry == '\0')
            continue;
        gchar *equals = strchr(entry, '=');
        if (!equals) {
            *why = g_strdup_printf("'%s' is not VOICE=DB", entry);
            ok = FALSE;
            break;
        }
        *equals = '\0';
        const gchar *name = g_strstrip(entry), *value = g_strstrip(equals + 1);
        const int voice = voice_named(name);
        gdouble db = 0;
        if (voice < 0) {
            *why = g_strdup_printf("no voice '%s' (1 to 11, or bd sd tt cy hh)", name);
            ok = FALSE;
        } else if (!gain_of(value, &db)) {
            *why = g_strdup_printf("voice %s: '%s' is not a gain from 0 down to -47.25 dB", name, value);
            ok = FALSE;
        } else {
            read[voice] = db;
        }
    }
    g_strfreev(items);
    if (ok)
        memcpy(gains, read, sizeof read);
    return ok;
}
