/* IMS songs begin with six head bytes: 01 (or 10) and five zeros. Six bytes
 * are little to go on, so the rest of the fixed header must look like a
 * song's before the finder is sure; the .ims extension puts it first in
 * line for files so named. */
#include "gstreamer/velk_type_find.h"

#define IMS_HEADER_SIZE 71
#define IMS_MUSIC_SIZE_OFFSET 42
#define IMS_BASIC_TEMPO_OFFSET 60

/* Byte by byte: GStreamer's own readers load unaligned words directly. */
static guint32 read_u32_le(const guint8 *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((guint32)p[3] << 24); }
static gint16 read_s16_le(const guint8 *p) { return (gint16)(p[0] | (p[1] << 8)); }

static gboolean has_head(const guint8 *data)
{
    if (data[0] != 0x01 && data[0] != 0x10)
        return FALSE;
    for (int i = 1; i < 6; ++i)
        if (data[i] != 0)
            return FALSE;
    return TRUE;
}

/* A whole header with music in it, a tempo, and no more music than the
 * file holds (when its length is known). */
static gboolean has_song_header(GstTypeFind *find, const guint8 *header)
{
    const guint32 music_size = read_u32_le(header + IMS_MUSIC_SIZE_OFFSET);
    const gint16 basic_tempo = read_s16_le(header + IMS_BASIC_TEMPO_OFFSET);
    if (music_size == 0 || basic_tempo <= 0)
        return FALSE;
    const guint64 length = gst_type_find_get_length(find);
    return length == 0 || (guint64)IMS_HEADER_SIZE + music_size <= length;
}

static void find_ims(GstTypeFind *find, gpointer unused)
{
    (void)unused;
    const guint8 *head = gst_type_find_peek(find, 0, 6);
    if (!head || !has_head(head))
        return;
    /* A cut or odd song is still suggested, below the formats that are sure
     * of their own, so that the decoder can say what is wrong with it. */
    const guint8 *header = gst_type_find_peek(find, 0, IMS_HEADER_SIZE);
    const guint probability = header && has_song_header(find, header) ? GST_TYPE_FIND_LIKELY : GST_TYPE_FIND_POSSIBLE;
    gst_type_find_suggest_empty_simple(find, probability, "audio/x-ims");
}

gboolean velk_type_find_register(GstPlugin *plugin)
{
    GstCaps *caps = gst_caps_new_empty_simple("audio/x-ims");
    const gboolean ok =
        gst_type_find_register(plugin, "audio/x-ims", GST_RANK_SECONDARY, find_ims, "ims", caps, NULL, NULL);
    gst_caps_unref(caps);
    return ok;
}
