/* Seeking in a playing pipeline (filesrc ! velkdec ! fakesink, in real
 * time): a flushing seek forward and a non-flushing seek back each land on
 * the library's first tick at or after the target, the audio from there is
 * the library's after the same seek, and the position query agrees; pause
 * holds the position and resume goes on; once the element's seek index is
 * complete, seeks forward land on the same samples as the song played from
 * its start; a seek near the end reaches the end of the stream.
 *
 * gst_seek_test SONG (its bank beside it)
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gst/gst.h>

#include "libvelk/velk.h"

#define COMPARED_FRAMES 8192
#define ENVELOPE_FRAMES 1024

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

/* What reaches the sink after a seek: its first time and its first frames. */
typedef struct {
    GMutex lock;
    GCond changed;
    gboolean waiting;          /* for the first buffer marked DISCONT */
    GstClockTime first_pts;
    gint16 frames[COMPARED_FRAMES * 2];
    gsize collected;           /* frames */
} Capture;

static GstPadProbeReturn on_buffer(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    (void)pad;
    Capture *capture = data;
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    g_mutex_lock(&capture->lock);
    if (capture->waiting && GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT)) {
        capture->waiting = FALSE;
        capture->first_pts = GST_BUFFER_PTS(buffer);
        capture->collected = 0;
    }
    if (!capture->waiting && capture->collected < COMPARED_FRAMES) {
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        gsize frames = MIN(map.size / 4, COMPARED_FRAMES - capture->collected);
        memcpy(capture->frames + capture->collected * 2, map.data, frames * 4);
        capture->collected += frames;
        gst_buffer_unmap(buffer, &map);
        g_cond_broadcast(&capture->changed);
    }
    g_mutex_unlock(&capture->lock);
    return GST_PAD_PROBE_OK;
}

static gboolean wait_for_frames(Capture *capture)
{
    const gint64 deadline = g_get_monotonic_time() + 20 * G_TIME_SPAN_SECOND;
    g_mutex_lock(&capture->lock);
    while (capture->waiting || capture->collected < COMPARED_FRAMES)
        if (!g_cond_wait_until(&capture->changed, &capture->lock, deadline))
            break;
    const gboolean done = !capture->waiting && capture->collected == COMPARED_FRAMES;
    g_mutex_unlock(&capture->lock);
    return done;
}

static gint64 position_ms(GstElement *pipeline)
{
    gint64 position = -1;
    if (!gst_element_query_position(pipeline, GST_FORMAT_TIME, &position))
        return -1;
    return position / GST_MSECOND;
}

/* The library's landing point and frames after a seek to `target_ms`. */
static gint64 library_seek(const char *path, gint64 target_ms, gint16 *frames)
{
    velk_song *song = NULL;
    if (velk_open_file(path, NULL, &song) != VELK_OK || velk_seek_ms(song, target_ms) != VELK_OK) {
        fprintf(stderr, "library: %s\n", velk_error_message(song));
        exit(1);
    }
    const gint64 landed = velk_position_ms(song);
    long done = 0;
    while (done < COMPARED_FRAMES) {
        long n = velk_render(song, frames + done * 2, COMPARED_FRAMES - done);
        if (n <= 0)
            break;
        done += n;
    }
    velk_close(song);
    return landed;
}

/* The whole song rendered from its start, and its length in frames. */
static gint16 *whole_render(const char *path, gsize *frames)
{
    velk_song *song = NULL;
    if (velk_open_file(path, NULL, &song) != VELK_OK) {
        fprintf(stderr, "library: %s\n", velk_error_message(song));
        exit(1);
    }
    gsize done = 0, room = 1 << 20;
    gint16 *all = g_new(gint16, room * 2);
    for (long n; (n = velk_render(song, all + done * 2, MIN(room - done, 4096))) > 0;) {
        done += (gsize)n;
        if (done == room)
            all = g_renew(gint16, all, (room *= 2) * 2);
    }
    velk_close(song);
    *frames = done;
    return all;
}

/* The root mean square of one block of frames, both channels. */
static double block_level(const gint16 *frames, int block)
{
    double sum = 0;
    const gint16 *first = frames + (gsize)block * ENVELOPE_FRAMES * 2;
    for (int i = 0; i < ENVELOPE_FRAMES * 2; ++i)
        sum += (double)first[i] * first[i];
    return sqrt(sum / (ENVELOPE_FRAMES * 2));
}

/* The whole render, once, for the seeks that are exact. */
static gint16 *whole;
static gsize whole_frames;

/* Whether the frames heard from `pts` on are the whole render's from that
 * time (the frame found within a tick of it), bit for bit. */
static gboolean in_whole_render(const gint16 *heard, GstClockTime pts, double tick_ms)
{
    const gint64 around = (gint64)gst_util_uint64_scale(pts, 44100, GST_SECOND);
    const gint64 slack = (gint64)(tick_ms * 44.1) + 100;
    for (gint64 frame = MAX(around - slack, 0); frame <= around + slack; ++frame)
        if ((gsize)frame + COMPARED_FRAMES <= whole_frames &&
            memcmp(whole + frame * 2, heard, COMPARED_FRAMES * 2 * sizeof *heard) == 0)
            return TRUE;
    return FALSE;
}

/* Seeks and checks the landing, the audio (the whole render's, bit for bit,
 * when `exact`, else the envelope of the library's seek) and the position. */
static void seek_and_check(GstElement *pipeline, Capture *capture, const char *path, double tick_ms,
                           gint64 target_ms, gboolean flush, gboolean exact)
{
    static gint16 expected[COMPARED_FRAMES * 2];
    const gint64 landed = library_seek(path, target_ms, expected);
    CHECK(landed >= target_ms && landed < target_ms + tick_ms + 1, "library landed at %" G_GINT64_FORMAT " ms for %"
          G_GINT64_FORMAT, landed, target_ms);

    g_mutex_lock(&capture->lock);
    capture->waiting = TRUE;
    g_mutex_unlock(&capture->lock);
    const GstSeekFlags flags = flush ? GST_SEEK_FLAG_FLUSH : GST_SEEK_FLAG_NONE;
    CHECK(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, target_ms * GST_MSECOND), "seek to %"
          G_GINT64_FORMAT " ms refused", target_ms);
    if (!wait_for_frames(capture)) {
        CHECK(FALSE, "no audio after the seek to %" G_GINT64_FORMAT " ms", target_ms);
        return;
    }
    CHECK(capture->first_pts == (GstClockTime)landed * GST_MSECOND,
          "%s seek to %" G_GINT64_FORMAT " ms: first buffer at %" GST_TIME_FORMAT ", library at %" G_GINT64_FORMAT
          " ms", flush ? "flushing" : "non-flushing", target_ms, GST_TIME_ARGS(capture->first_pts), landed);
    if (exact) {
        CHECK(in_whole_render(capture->frames, capture->first_pts, tick_ms),
              "the audio after the seek to %" G_GINT64_FORMAT " ms is not the whole render's there", target_ms);
    } else {
        /* Forward, the library steps the song without rendering, so the
         * chip's envelopes at the landing depend on where the seek began:
         * the same music, with levels close to a seek from the start. */
        for (int block = 0; block < COMPARED_FRAMES / ENVELOPE_FRAMES; ++block) {
            const double heard = block_level(capture->frames, block), library = block_level(expected, block);
            printf("  block %d: level %.0f, library %.0f\n", block, heard, library);
            CHECK(library > 100 && heard > library * 0.7 && heard < library * 1.4,
                  "block %d after the seek to %" G_GINT64_FORMAT " ms: level %.0f, the library's %.0f", block,
                  target_ms, heard, library);
        }
    }
    /* Once the sink plays the new audio, the pipeline's position is there. */
    g_usleep(300 * 1000);
    const gint64 position = position_ms(pipeline);
    CHECK(position >= landed && position < landed + 2000,
          "position %" G_GINT64_FORMAT " ms after the seek to %" G_GINT64_FORMAT " ms (landed at %" G_GINT64_FORMAT ")",
          position, target_ms, landed);
    printf("%s seek to %" G_GINT64_FORMAT " ms: landed at %" G_GINT64_FORMAT " ms, position %" G_GINT64_FORMAT
           " ms 300 ms later\n",
           flush ? "flushing" : "non-flushing", target_ms, landed, position);
}

static GstMessage *wait_message(GstElement *pipeline, GstMessageType types, int seconds)
{
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *message = gst_bus_timed_pop_filtered(bus, seconds * GST_SECOND, types | GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError *error = NULL;
        gst_message_parse_error(message, &error, NULL);
        fprintf(stderr, "error on the bus: %s\n", error->message);
        g_error_free(error);
        gst_message_unref(message);
        return NULL;
    }
    return message;
}

int main(int argc, char **argv)
{
    gst_init(&argc, &argv);
    if (argc != 2) {
        fprintf(stderr, "usage: gst_seek_test SONG\n");
        return 2;
    }
    const char *path = argv[1];
    velk_song *song = NULL;
    if (velk_open_file(path, NULL, &song) != VELK_OK) {
        fprintf(stderr, "library: %s\n", velk_error_message(song));
        return 1;
    }
    const gint64 length_ms = velk_length_ms(song);
    const double tick_ms = 1000.0 / velk_tick_rate(song);
    velk_close(song);

    GError *error = NULL;
    GstElement *pipeline =
        gst_parse_launch("filesrc name=src ! velkdec name=dec ! audio/x-raw,rate=44100,channels=2 ! fakesink name=sink sync=true",
                         &error);
    if (!pipeline) {
        fprintf(stderr, "pipeline: %s\n", error->message);
        return 1;
    }
    GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    g_object_set(src, "location", path, NULL);
    gst_object_unref(src);
    Capture capture = {0};
    g_mutex_init(&capture.lock);
    g_cond_init(&capture.changed);
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad *sinkpad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(sinkpad, GST_PAD_PROBE_TYPE_BUFFER, on_buffer, &capture, NULL);
    gst_object_unref(sinkpad);
    gst_object_unref(sink);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage *message = wait_message(pipeline, GST_MESSAGE_ASYNC_DONE, 20);
    if (!message) {
        fprintf(stderr, "the pipeline did not start\n");
        return 1;
    }
    gst_message_unref(message);
    gint64 duration = -1;
    CHECK(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && duration == length_ms * GST_MSECOND,
          "duration %" GST_TIME_FORMAT ", library %" G_GINT64_FORMAT " ms", GST_TIME_ARGS(duration), length_ms);
    g_usleep(500 * 1000);

    whole = whole_render(path, &whole_frames);
    /* Targets between ticks. Before the index reaches it, a seek sounds as
     * the song does there. */
    seek_and_check(pipeline, &capture, path, tick_ms, length_ms * 3 / 4 + 7, TRUE, FALSE);

    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    gst_element_get_state(pipeline, NULL, NULL, 5 * GST_SECOND);
    const gint64 paused_at = position_ms(pipeline);
    g_usleep(400 * 1000);
    const gint64 still_at = position_ms(pipeline);
    CHECK(paused_at >= 0 && llabs(still_at - paused_at) <= 1, "paused at %" G_GINT64_FORMAT " ms, then %"
          G_GINT64_FORMAT " ms", paused_at, still_at);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    g_usleep(400 * 1000);
    const gint64 resumed_at = position_ms(pipeline);
    CHECK(resumed_at > still_at + 100 && resumed_at < still_at + 2000,
          "resumed from %" G_GINT64_FORMAT " ms, at %" G_GINT64_FORMAT " ms 400 ms later", still_at, resumed_at);

    /* The index the element builds in the background completes within a
     * render of the song. */
    GstElement *dec = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
    gint64 indexed = -1;
    for (int wait = 0; wait < 1200 && indexed < length_ms; ++wait) {
        g_object_get(dec, "seek-index", &indexed, NULL);
        if (indexed < length_ms)
            g_usleep(50 * 1000);
    }
    gst_object_unref(dec);
    CHECK(indexed == length_ms, "the seek index reached %" G_GINT64_FORMAT " ms of %" G_GINT64_FORMAT " in 60 s",
          indexed, length_ms);
    seek_and_check(pipeline, &capture, path, tick_ms, length_ms * 7 / 8 + 5, TRUE, TRUE);
    seek_and_check(pipeline, &capture, path, tick_ms, length_ms / 8 + 3, FALSE, TRUE);
    seek_and_check(pipeline, &capture, path, tick_ms, length_ms * 5 / 8 + 11, TRUE, TRUE);
    g_free(whole);

    /* Near the end: the stream ends on its own, at the song's length. */
    gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, (length_ms - 700) * GST_MSECOND);
    message = wait_message(pipeline, GST_MESSAGE_EOS, 10);
    CHECK(message != NULL, "no end of stream within 10 s of a seek to 0.7 s before the end");
    if (message)
        gst_message_unref(message);
    const gint64 end = position_ms(pipeline);
    CHECK(end >= length_ms - 1 && end <= length_ms + (gint64)tick_ms + 1, "ended at %" G_GINT64_FORMAT " ms of %"
          G_GINT64_FORMAT, end, length_ms);

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    g_mutex_clear(&capture.lock);
    g_cond_clear(&capture.changed);
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
