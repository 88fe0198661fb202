/* velkdec's tempo, transpose and mute properties, changed while the song
 * plays (from the streaming thread, between two buffers): the audio is the
 * library's with the same controls given at the same frames, every voice
 * muted is silence, and the song's duration and end position stay its own.
 * Set before the start, tempo 2 plays the song in half the frames.
 *
 * gst_controls_test SONG (its bank beside it)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gst/gst.h>

#include "libvelk/velk.h"

#define ALL_MUTED_AT 20   /* the buffer after which every voice is muted */
#define RETUNED_AT 40     /* after which voice 1 alone is muted, tempo 2, key +3 */
#define RATE 44100

static int failures = 0;
#define CHECK(condition, ...)                                   \
    do {                                                        \
        if (!(condition)) {                                     \
            fprintf(stderr, "FAILED: %s: ", #condition);        \
            fprintf(stderr, __VA_ARGS__);                       \
            fprintf(stderr, "\n");                              \
            ++failures;                                         \
        }                                                       \
    } while (0)

typedef struct {
    GstElement *dec;
    gboolean change;     /* set the controls during the run */
    GByteArray *audio;   /* every frame that reached the sink */
    GArray *sizes;       /* frames of each buffer */
} Run;

static GstPadProbeReturn on_buffer(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    (void)pad;
    Run *run = data;
    GstMapInfo map;
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    g_byte_array_append(run->audio, map.data, (guint)map.size);
    const long frames = (long)(map.size / 4);
    g_array_append_val(run->sizes, frames);
    gst_buffer_unmap(buffer, &map);
    if (run->change && run->sizes->len == ALL_MUTED_AT + 1)
        g_object_set(run->dec, "mute", (guint)0xFFFFFFFFu, NULL);
    if (run->change && run->sizes->len == RETUNED_AT + 1)
        g_object_set(run->dec, "mute", 1u, "tempo", 2.0, "transpose", 3, NULL);
    return GST_PAD_PROBE_OK;
}

/* Plays the song to its end; the song's position there and its duration. */
static void play(const char *path, const char *controls, Run *run, gint64 *end, gint64 *duration)
{
    gchar *description = g_strdup_printf(
        "filesrc location=\"%s\" ! velkdec name=dec %s ! audio/x-raw,rate=%d,channels=2 ! fakesink name=sink", path,
        controls, RATE);
    GError *error = NULL;
    GstElement *pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline) {
        fprintf(stderr, "pipeline: %s\n", error->message);
        exit(1);
    }
    run->dec = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
    run->audio = g_byte_array_new();
    run->sizes = g_array_new(FALSE, FALSE, sizeof(long));
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad *pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, on_buffer, run, NULL);
    gst_object_unref(pad);
    gst_object_unref(sink);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *message = gst_bus_timed_pop_filtered(bus, 120 * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    if (!message || GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS) {
        fprintf(stderr, "no end of stream for %s\n", controls);
        exit(1);
    }
    gst_message_unref(message);
    *end = *duration = -1;
    gst_element_query_position(pipeline, GST_FORMAT_TIME, end);
    gst_element_query_duration(pipeline, GST_FORMAT_TIME, duration);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(run->dec);
    gst_object_unref(pipeline);
}

static double level(const gint16 *samples, gsize count)
{
    double sum = 0;
    for (gsize i = 0; i < count; ++i)
        sum += (double)samples[i] * samples[i];
    return count ? sum / (double)count : 0;
}

int main(int argc, char **argv)
{
    gst_init(&argc, &argv);
    if (argc != 2) {
        fprintf(stderr, "usage: gst_controls_test SONG\n");
        return 2;
    }
    const char *path = argv[1];
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = RATE;
    velk_song *song = NULL;
    if (velk_open_file(path, &options, &song) != VELK_OK) {
        fprintf(stderr, "library: %s\n", velk_error_message(song));
        return 1;
    }
    const gint64 length_ms = velk_length_ms(song);

    Run changed = {.change = TRUE};
    gint64 end = -1, duration = -1;
    play(path, "", &changed, &end, &duration);
    CHECK(changed.sizes->len > RETUNED_AT + 10, "only %u buffers", changed.sizes->len);

    /* The library given the same controls after the same buffers. */
    GByteArray *expected = g_byte_array_new();
    gint16 block[8192 * 2];
    gsize muted_from = 0, muted_to = 0;
    for (guint i = 0; i < changed.sizes->len; ++i) {
        const long want = MIN(g_array_index(changed.sizes, long, i), 8192);
        const long got = velk_render(song, block, (size_t)want);
        if (got > 0)
            g_byte_array_append(expected, (const guint8 *)block, (guint)got * 4);
        if (i == ALL_MUTED_AT) {
            muted_from = expected->len;
            velk_set_muted_voices(song, 0xFFFFFFFFu);
        } else if (i == RETUNED_AT) {
            muted_to = expected->len;
            velk_set_muted_voices(song, 1u);
            velk_set_tempo(song, 2.0);
            velk_set_transpose(song, 3);
        }
    }
    CHECK(velk_render(song, block, 1) == 0, "the library plays on past the element's end");
    velk_close(song);
    CHECK(changed.audio->len == expected->len && memcmp(changed.audio->data, expected->data, expected->len) == 0,
          "the audio (%u bytes) is not the library's with the same controls (%u bytes)", changed.audio->len,
          expected->len);
    const gint16 *audio = (const gint16 *)changed.audio->data;
    const double before = level(audio, muted_from / 2);
    const double muted = level(audio + muted_from / 2, (muted_to - muted_from) / 2);
    CHECK(before > 1e4 && muted < 16.0, "mean square %.0f before every voice was muted, %.2f after", before, muted);
    CHECK(duration == length_ms * GST_MSECOND, "duration %" GST_TIME_FORMAT " at tempo 2, the song's %" G_GINT64_FORMAT
          " ms", GST_TIME_ARGS(duration), length_ms);
    CHECK(end >= (length_ms - 50) * GST_MSECOND && end <= (length_ms + 50) * GST_MSECOND,
          "ended at %" GST_TIME_FORMAT " of the song's %" G_GINT64_FORMAT " ms", GST_TIME_ARGS(end), length_ms);
    printf("changed while playing: %u bytes, the library's; mean square %.0f, then %.2f with every voice muted; "
           "ended at %" GST_TIME_FORMAT "\n",
           changed.audio->len, before, muted, GST_TIME_ARGS(end));

    /* Tempo 2 from the start: half the frames of the song at its tempo. */
    Run fast = {.change = FALSE};
    play(path, "tempo=2.0", &fast, &end, &duration);
    const double frames = fast.audio->len / 4.0, whole = (double)length_ms * RATE / 1000.0;
    CHECK(frames > whole * 0.49 && frames < whole * 0.51, "%.0f frames at tempo 2, %.0f for the song", frames, whole);
    printf("tempo 2: %.0f frames, %.3f of the song's %.0f\n", frames, frames / whole, whole);
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
