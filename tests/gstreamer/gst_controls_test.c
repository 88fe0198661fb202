/* velkdec's voice gains, mute, tempo and transpose changed while the song
 * plays (between two buffers, from the streaming thread): the audio is the
 * library's given the same controls at the same frames (two voices lowered,
 * a text that is no gain refused, every voice muted, then one), tempo 2
 * plays the rest of the song in half the frames, and the duration and the
 * end position stay the song's.
 *
 * gst_controls_test SONG (its bank beside it)
 */
#include <stdio.h>
#include <string.h>

#include <gst/gst.h>

#include "libvelk/velk.h"

#define GAINED_AFTER 10   /* buffers; then voice 1 and the bass drum lowered */
#define MUTED_AFTER 20    /* then every voice muted */
#define RETUNED_AFTER 40  /* then voice 1 alone muted, tempo 2, key +3 */
#define RATE 44100

static int failures = 0;
#define CHECK(condition, ...) \
    ((condition) ? (void)0 : (void)(++failures, fprintf(stderr, "FAILED: " __VA_ARGS__), fprintf(stderr, "\n")))

static GByteArray *heard;
static guint buffers;
static gsize gained_from, muted_from, muted_to, first_frames; /* bytes; frames of a buffer */
static gchar *refused_left; /* the gains as read back after a text that is none */

static GstPadProbeReturn on_buffer(GstPad *pad, GstPadProbeInfo *info, gpointer dec)
{
    (void)pad;
    GstMapInfo map;
    gst_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), &map, GST_MAP_READ);
    g_byte_array_append(heard, map.data, (guint)map.size);
    if (++buffers == 1)
        first_frames = map.size / 4;
    gst_buffer_unmap(GST_PAD_PROBE_INFO_BUFFER(info), &map);
    if (buffers == GAINED_AFTER) {
        gained_from = heard->len;
        g_object_set(dec, "voice-gains", "1=-6, bd=-20.25dB", NULL);
        g_object_set(dec, "voice-gains", "1=-6,12=-3", NULL);
        g_object_get(dec, "voice-gains", &refused_left, NULL);
    } else if (buffers == MUTED_AFTER) {
        muted_from = heard->len;
        g_object_set(dec, "mute", 0xFFFFFFFFu, NULL);
    } else if (buffers == RETUNED_AFTER) {
        muted_to = heard->len;
        g_object_set(dec, "mute", 1u, "tempo", 2.0, "transpose", 3, NULL);
    }
    return GST_PAD_PROBE_OK;
}

int main(int argc, char **argv)
{
    gst_init(&argc, &argv);
    if (argc != 2)
        return 2;
    gchar *description = g_strdup_printf(
        "filesrc location=\"%s\" ! velkdec name=dec ! audio/x-raw,rate=%d,channels=2 ! fakesink name=sink", argv[1], RATE);
    GstElement *pipeline = gst_parse_launch(description, NULL);
    GstElement *dec = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad *pad = gst_element_get_static_pad(sink, "sink");
    heard = g_byte_array_new();
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, on_buffer, dec, NULL);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *end = gst_bus_timed_pop_filtered(bus, 120 * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    if (!end || GST_MESSAGE_TYPE(end) != GST_MESSAGE_EOS) {
        fprintf(stderr, "FAILED: no end of stream\n");
        return 1;
    }
    gint64 position = -1, duration = -1;
    gst_element_query_position(pipeline, GST_FORMAT_TIME, &position);
    gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration);

    /* The library, the controls given after the same frames. */
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = RATE;
    velk_song *song = NULL;
    if (velk_open_file(argv[1], &options, &song) != VELK_OK) {
        fprintf(stderr, "library: %s\n", velk_error_message(song));
        return 1;
    }
    const gint64 length_ms = velk_length_ms(song);
    GByteArray *expected = g_byte_array_new();
    gint16 block[8192 * 2];
    for (long frames; (frames = velk_render(song, block, MIN(first_frames, 8192))) > 0;) {
        g_byte_array_append(expected, (const guint8 *)block, (guint)frames * 4);
        if (expected->len == gained_from) {
            velk_set_voice_gain(song, 0, -6);
            velk_set_voice_gain(song, 6, -20.25);
        }
        if (expected->len == muted_from)
            velk_set_muted_voices(song, 0xFFFFFFFFu);
        if (expected->len == muted_to) {
            velk_set_muted_voices(song, 1u);
            velk_set_tempo(song, 2.0);
            velk_set_transpose(song, 3);
        }
    }
    CHECK(heard->len == expected->len && memcmp(heard->data, expected->data, heard->len) == 0,
          "%u bytes, the library's %u bytes are not the same", heard->len, expected->len);
    const double rest = (double)(heard->len - muted_to) / 4, whole_rest = (length_ms / 1000.0 * RATE - muted_to / 4.0);
    CHECK(rest > whole_rest * 0.49 && rest < whole_rest * 0.51, "%.0f frames at tempo 2 for %.0f", rest, whole_rest);
    CHECK(refused_left && strcmp(refused_left, "1=-6, bd=-20.25dB") == 0, "voice-gains after a text naming no voice: %s",
          refused_left ? refused_left : "(null)");
    CHECK(duration == length_ms * GST_MSECOND, "duration %" GST_TIME_FORMAT, GST_TIME_ARGS(duration));
    CHECK(position > (length_ms - 50) * GST_MSECOND && position < (length_ms + 50) * GST_MSECOND,
          "ended at %" GST_TIME_FORMAT " of %" G_GINT64_FORMAT " ms", GST_TIME_ARGS(position), length_ms);
    printf("%u bytes, the library's; tempo 2: %.3f of the frames; ended at %" GST_TIME_FORMAT "\n%s\n", heard->len,
           rest / whole_rest, GST_TIME_ARGS(position), failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
