/* velkdec: gathers a whole IMS song from upstream, opens it with libvelk
 * once upstream ends, then renders it from a task on the source pad. The
 * song's bank is found beside it (the source's file:// location) unless the
 * `bank` property names one. While it plays, a thread builds its seek index
 * (seeks become exact) and another measures its loudness on a second handle
 * for the ReplayGain tags. */
#include "gstreamer/velk_dec.h"

#include <math.h>

#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>

#include "gstreamer/velk_loudness_meter.h"
#include "gstreamer/velk_seek_indexer.h"
#include "gstreamer/velk_voice_gains.h"
#include "libvelk/velk.h"

GST_DEBUG_CATEGORY_STATIC(velk_dec_debug);
#define GST_CAT_DEFAULT velk_dec_debug

/* Real songs are tens of kilobytes; this bounds what a runaway or endless
 * source can make the element hold. */
#define VELK_DEC_MAX_SONG_BYTES (64u * 1024u * 1024u)
/* About 46 ms at 44100 Hz: small enough for a quick seek, large enough that
 * pushing costs little beside rendering. */
#define VELK_DEC_FRAMES_PER_BUFFER 2048
/* ReplayGain's reference as GStreamer's rgvolume reckons it: 89 dB, which
 * ReplayGain 2.0 equates with the -18 LUFS the track gain is measured to. */
#define VELK_DEC_REFERENCE_LEVEL_DB 89.0

struct _VelkDec {
    GstElement parent;
    GstPad *sinkpad;
    GstPad *srcpad;
    GstAdapter *adapter;

    /* Properties (object lock); they apply to the next song opened. */
    gchar *bank;
    velk_emulator emulator;
    gboolean pitch_bends;
    gboolean gain_tags_first;
    /* Properties (object lock) that may change while the song plays: the
     * task gives them to the song before the next buffer it renders. */
    gdouble tempo;
    gint transpose;
    guint mute;
    gchar *voice_gains;
    gdouble gains[VELK_MAX_VOICES];

    /* The song, used by the streaming task, and by a seek only while the
     * task is held (stream lock). */
    velk_song *song;
    gint rate;
    gint channels;
    GstClockTime base_time;    /* the song's time of the first frame after an open or a seek */
    guint64 frames_since_base;
    gboolean discont;
    /* What the song was last given. Buffers are timed in output time; the
     * segment's applied rate (the tempo) turns that into the song's time. */
    gdouble applied_tempo;
    gint applied_transpose;
    guint applied_mute;
    gdouble applied_gains[VELK_MAX_VOICES];
    GstClockTime stop_song;    /* the seek's stop in the song's time, or none */

    /* Read by queries from other threads (object lock). */
    GstClockTime duration;
    GstSegment segment;
    GstEvent *pending_seek;    /* a seek that came before the song was open */
    VelkSeekIndexer *indexer;  /* made and stopped on the song's thread */

    /* The song's loudness, measured off the streaming thread; the task
     * pushes the tags again with its gain once it is known. */
    VelkLoudnessMeter *meter;
    gboolean ims;
    gboolean gain_known;
    velk_loudness loudness;
};

enum {
    PROP_0,
    PROP_BANK,
    PROP_EMULATOR,
    PROP_PITCH_BENDS,
    PROP_TEMPO,
    PROP_TRANSPOSE,
    PROP_MUTE,
    PROP_VOICE_GAINS,
    PROP_GAIN_TAGS_FIRST,
    PROP_SEEK_INDEX,
};

#define VELK_DEC_SLOWEST 0.25
#define VELK_DEC_FASTEST 4.0
#define VELK_DEC_WIDEST_TRANSPOSE 12

G_DEFINE_TYPE(VelkDec, velk_dec, GST_TYPE_ELEMENT)

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-ims"));

/* The library renders native 16-bit samples: S16LE on every machine Debian
 * ships this for. */
static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) [ 1, 2 ]"));

static GType velk_dec_emulator_get_type(void)
{
    static gsize type = 0;
    static const GEnumValue values[] = {
        {VELK_EMULATOR_DEFAULT, "The library's choice (Nuked)", "default"},
        {VELK_EMULATOR_SATOH, "AdPlug's CEmuopl, as the Winamp plug-in plays (louder, clips)", "satoh"},
        {VELK_EMULATOR_NUKED, "Nuked OPL3: the chip's own sound and level", "nuked"},
        {VELK_EMULATOR_WOODY, "DOSBox's", "woody"},
        {VELK_EMULATOR_KEN, "Ken Silverman's (one song at a time per process)", "ken"},
        {0, NULL, NULL},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("VelkDecEmulator", values));
    return type;
}

static void clear_song(VelkDec *dec)
{
    gst_adapter_clear(dec->adapter);
    GST_OBJECT_LOCK(dec);
    VelkSeekIndexer *indexer = dec->indexer;
    dec->indexer = NULL;
    GST_OBJECT_UNLOCK(dec);
    velk_seek_indexer_stop(indexer);
    velk_loudness_meter_release(dec->meter);
    dec->meter = NULL;
    dec->gain_known = FALSE;
    GST_OBJECT_LOCK(dec);
    velk_close(dec->song);
    dec->song = NULL;
    dec->duration = GST_CLOCK_TIME_NONE;
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
    gst_clear_event(&dec->pending_seek);
    GST_OBJECT_UNLOCK(dec);
}

/* The song's file, when upstream can say (a file:// source does), so that
 * the library finds the bank beside it. */
static gchar *upstream_location(VelkDec *dec)
{
    GstQuery *query = gst_query_new_uri();
    gchar *path = NULL;
    if (gst_pad_peer_query(dec->sinkpad, query)) {
        gchar *uri = NULL;
        gst_query_parse_uri(query, &uri);
        if (uri && g_ascii_strncasecmp(uri, "file:", 5) == 0)
            path = g_filename_from_uri(uri, NULL, NULL);
        GST_DEBUG_OBJECT(dec, "upstream URI %s, file %s", GST_STR_NULL(uri), GST_STR_NULL(path));
        g_free(uri);
    }
    gst_query_unref(query);
    return path;
}

/* What downstream accepts, fixed on 44100 Hz stereo where it leaves a
 * choice. */
static gboolean negotiate(VelkDec *dec)
{
    GstCaps *template_caps = gst_pad_get_pad_template_caps(dec->srcpad);
    GstCaps *caps = gst_pad_peer_query_caps(dec->srcpad, template_caps);
    GstCaps *allowed = gst_caps_intersect(caps, template_caps);
    gst_caps_unref(caps);
    gst_caps_unref(template_caps);
    if (gst_caps_is_empty(allowed)) {
        gst_caps_unref(allowed);
        return FALSE;
    }
    /* Stereo at 44100 Hz where any structure allows it: truncating first
     * would take a downstream's first structure, often mono (an encoder's
     * template lists one channel first). */
    static const char *const preferred[] = {"audio/x-raw, rate = (int) 44100, channels = (int) 2",
                                            "audio/x-raw, channels = (int) 2"};
    for (gsize i = 0; i < G_N_ELEMENTS(preferred); ++i) {
        GstCaps *want = gst_caps_from_string(preferred[i]);
        GstCaps *both = gst_caps_intersect(allowed, want);
        gst_caps_unref(want);
        if (!gst_caps_is_empty(both)) {
            gst_caps_unref(allowed);
            allowed = both;
            break;
        }
        gst_caps_unref(both);
    }
    allowed = gst_caps_truncate(allowed);
    allowed = gst_caps_make_writable(allowed);
    GstStructure *s = gst_caps_get_structure(allowed, 0);
    gst_structure_fixate_field_nearest_int(s, "rate", 44100);
    gst_structure_fixate_field_nearest_int(s, "channels", 2);
    allowed = gst_caps_fixate(allowed);

    GstAudioInfo info;
    gboolean ok = gst_audio_info_from_caps(&info, allowed) && gst_pad_set_caps(dec->srcpad, allowed);
    if (ok) {
        dec->rate = GST_AUDIO_INFO_RATE(&info);
        dec->channels = GST_AUDIO_INFO_CHANNELS(&info);
    }
    GST_DEBUG_OBJECT(dec, "negotiated %" GST_PTR_FORMAT ": %d", allowed, ok);
    gst_caps_unref(allowed);
    return ok;
}

static void post_open_error(VelkDec *dec, velk_error error, const char *message, gboolean located)
{
    gchar *text = g_strdup(message && *message ? message : velk_error_string(error));
    if (error == VELK_ERROR_NO_BANK && !located) {
        gchar *more = g_strdup_printf("%s (the source gives no file location to look beside; "
                                      "name a bank with the bank property)",
                                      text);
        g_free(text);
        text = more;
    }
    gchar *debug = g_strdup_printf("velk_open_memory: %s", velk_error_string(error));
    switch (error) {
    case VELK_ERROR_NO_BANK:
        gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                                 text, debug, __FILE__, GST_FUNCTION, __LINE__);
        break;
    case VELK_ERROR_FILE:
    case VELK_ERROR_BANK:
        gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, text,
                                 debug, __FILE__, GST_FUNCTION, __LINE__);
        break;
    case VELK_ERROR_BUSY:
        gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY, text,
                                 debug, __FILE__, GST_FUNCTION, __LINE__);
        break;
    default:
        gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, text,
                                 debug, __FILE__, GST_FUNCTION, __LINE__);
        break;
    }
    /* gst_element_message_full owns both texts now. */
}

static gboolean has_ims_head(const guint8 *data, gsize size)
{
    if (size < 6 || (data[0] != 0x01 && data[0] != 0x10))
        return FALSE;
    for (int i = 1; i < 6; ++i)
        if (data[i] != 0)
            return FALSE;
    return TRUE;
}

/* The song's tags; with its gain once it is known (a later tag event
 * replaces the earlier one, so each holds them all). */
static void push_tags(VelkDec *dec)
{
    GstTagList *tags = gst_tag_list_new(GST_TAG_CONTAINER_FORMAT, dec->ims ? "IMS" : "ROL", GST_TAG_DURATION,
                                        dec->duration, NULL);
    const char *title = velk_title(dec->song);
    if (title && *title && g_utf8_validate(title, -1, NULL))
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_TITLE, title, NULL);
    /* The lyric file beside the song, as the players' lyrics pane shows it. */
    const char *lyrics = velk_lyrics_text(dec->song);
    if (lyrics && *lyrics && g_utf8_validate(lyrics, -1, NULL))
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_LYRICS, lyrics, NULL);
    /* A silent song has no loudness to even out. */
    if (dec->gain_known && isfinite(dec->loudness.track_gain_db))
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_TRACK_GAIN, dec->loudness.track_gain_db,
                         GST_TAG_TRACK_PEAK, dec->loudness.true_peak, GST_TAG_REFERENCE_LEVEL,
                         VELK_DEC_REFERENCE_LEVEL_DB, NULL);
    gst_pad_push_event(dec->srcpad, gst_event_new_tag(tags));
}

/* The segment from buffer time `start`, song time `time`, on, at the tempo
 * the song plays at (object lock held). */
static void time_segment(VelkDec *dec, GstClockTime start, GstClockTime time)
{
    dec->segment.start = start;
    dec->segment.time = time;
    dec->segment.position = start;
    dec->segment.applied_rate = dec->applied_tempo;
    dec->segment.duration = dec->duration;
    dec->segment.stop = GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(dec->stop_song))
        dec->segment.stop = start + (dec->stop_song > time ? (GstClockTime)((dec->stop_song - time) / dec->applied_tempo)
                                                           : 0);
}

/* Puts the song at the first tick at or after `start` and describes what
 * follows as the new segment (which the caller pushes). */
static gboolean position_song(VelkDec *dec, GstClockTime start, GstClockTime stop, GstSeekFlags flags, gboolean flush)
{
    /* Whole milliseconds, rounded up: the library's tick at or after them
     * is then at or after the asked time. */
    gint64 ms = (gint64)((start + GST_MSECOND - 1) / GST_MSECOND);
    if (velk_seek_ms(dec->song, ms) != VELK_OK) {
        GST_WARNING_OBJECT(dec, "seek to %" G_GINT64_FORMAT " ms failed: %s", ms, velk_error_message(dec->song));
        return FALSE;
    }
    GstClockTime landed = (GstClockTime)velk_position_ms(dec->song) * GST_MSECOND;
    dec->base_time = landed;
    dec->frames_since_base = 0;
    dec->discont = TRUE;

    dec->stop_song = stop;

    GST_OBJECT_LOCK(dec);
    /* A seek without flushing keeps the running time going on. */
    guint64 base = flush ? 0
                         : gst_segment_to_running_time(&dec->segment, GST_FORMAT_TIME, dec->segment.position);
    if (base == GST_CLOCK_TIME_NONE)
        base = 0;
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
    dec->segment.base = base;
    if (flags & GST_SEEK_FLAG_SEGMENT)
        dec->segment.flags |= GST_SEGMENT_FLAG_SEGMENT;
    time_segment(dec, landed, landed);
    GST_OBJECT_UNLOCK(dec);
    GST_DEBUG_OBJECT(dec, "asked for %" GST_TIME_FORMAT ", at %" GST_TIME_FORMAT, GST_TIME_ARGS(start),
                     GST_TIME_ARGS(landed));
    return TRUE;
}

static void push_segment(VelkDec *dec, guint32 seqnum)
{
    GST_OBJECT_LOCK(dec);
    GstEvent *event = gst_event_new_segment(&dec->segment);
    GST_OBJECT_UNLOCK(dec);
    if (seqnum)
        gst_event_set_seqnum(event, seqnum);
    gst_pad_push_event(dec->srcpad, event);
}

static void velk_dec_loop(gpointer data);

/* The seek's start and stop as times of the song; FALSE for seeks the
 * element cannot do (other formats, other rates). */
static gboolean parse_seek(VelkDec *dec, GstEvent *event, GstClockTime *start, GstClockTime *stop, GstSeekFlags *flags)
{
    gdouble rate;
    GstFormat format;
    GstSeekType start_type, stop_type;
    gint64 start_value, stop_value;
    gst_event_parse_seek(event, &rate, &format, flags, &start_type, &start_value, &stop_type, &stop_value);
    if (format != GST_FORMAT_TIME || rate != 1.0) {
        GST_DEBUG_OBJECT(dec, "only seeks in time at the normal rate");
        return FALSE;
    }
    GST_OBJECT_LOCK(dec);
    gint64 duration = (gint64)dec->duration;
    gint64 position = (gint64)gst_segment_to_stream_time(&dec->segment, GST_FORMAT_TIME, dec->segment.position);
    GST_OBJECT_UNLOCK(dec);

    gint64 to = start_type == GST_SEEK_TYPE_NONE ? position
                : start_type == GST_SEEK_TYPE_END ? duration + start_value
                                                  : start_value;
    *start = (GstClockTime)CLAMP(to, 0, duration);
    if (stop_type == GST_SEEK_TYPE_NONE || stop_value < 0)
        *stop = GST_CLOCK_TIME_NONE;
    else
        *stop = (GstClockTime)CLAMP(stop_type == GST_SEEK_TYPE_END ? duration + stop_value : stop_value, 0, duration);
    return TRUE;
}

static gboolean velk_dec_seek(VelkDec *dec, GstEvent *event)
{
    GST_OBJECT_LOCK(dec);
    if (!dec->song) {
        /* Not open yet: the seek applies once it is. */
        gst_event_replace(&dec->pending_seek, event);
        GST_OBJECT_UNLOCK(dec);
        gst_event_unref(event);
        return TRUE;
    }
    GST_OBJECT_UNLOCK(dec);
    GstClockTime start, stop;
    GstSeekFlags flags;
    if (!parse_seek(dec, event, &start, &stop, &flags)) {
        gst_event_unref(event);
        return FALSE;
    }
    const guint32 seqnum = gst_event_get_seqnum(event);
    gst_event_unref(event);
    const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;

    if (flush) {
        GstEvent *flush_start = gst_event_new_flush_start();
        gst_event_set_seqnum(flush_start, seqnum);
        gst_pad_push_event(dec->srcpad, flush_start);
    } else {
        gst_pad_pause_task(dec->srcpad);
    }
    GST_PAD_STREAM_LOCK(dec->srcpad);
    if (flush) {
        GstEvent *flush_stop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(flush_stop, seqnum);
        gst_pad_push_event(dec->srcpad, flush_stop);
    }
    gboolean ok = position_song(dec, start, stop, flags, flush);
    if (ok)
        push_segment(dec, seqnum);
    gst_pad_start_task(dec->srcpad, velk_dec_loop, dec, NULL);
    GST_PAD_STREAM_UNLOCK(dec->srcpad);
    return ok;
}

/* A new seek index for the song as it sounds now (song's thread). */
static void restart_index(VelkDec *dec)
{
    GST_OBJECT_LOCK(dec);
    VelkSeekIndexer *old = dec->indexer;
    dec->indexer = NULL;
    GST_OBJECT_UNLOCK(dec);
    velk_seek_indexer_stop(old);
    VelkSeekIndexer *indexer = velk_seek_indexer_start(dec->song);
    GST_OBJECT_LOCK(dec);
    dec->indexer = indexer;
    GST_OBJECT_UNLOCK(dec);
}

/* Gives the song the controls set since the last buffer; TRUE when the
 * tempo changed, and with it how buffer time maps to song time. */
static gboolean apply_controls(VelkDec *dec)
{
    gdouble gains[VELK_MAX_VOICES];
    GST_OBJECT_LOCK(dec);
    const gdouble tempo = dec->tempo;
    const gint transpose = dec->transpose;
    const guint mute = dec->mute;
    memcpy(gains, dec->gains, sizeof gains);
    GST_OBJECT_UNLOCK(dec);
    if (mute != dec->applied_mute && velk_set_muted_voices(dec->song, mute) == VELK_OK)
        dec->applied_mute = mute;
    /* Voices the song lacks keep 0 dB, as mute bits of them are ignored. */
    for (int voice = 0; voice < velk_voice_count(dec->song) && voice < VELK_MAX_VOICES; ++voice)
        if (gains[voice] != dec->applied_gains[voice] && velk_set_voice_gain(dec->song, voice, gains[voice]) == VELK_OK)
            dec->applied_gains[voice] = gains[voice];
    /* Snapshots hold for one tempo and key: the index built for others
     * would make no seek exact. */
    gboolean resound = FALSE;
    if (transpose != dec->applied_transpose && velk_set_transpose(dec->song, transpose) == VELK_OK) {
        dec->applied_transpose = transpose;
        resound = TRUE;
    }
    gboolean retimed = FALSE;
    if (tempo != dec->applied_tempo && velk_set_tempo(dec->song, tempo) == VELK_OK) {
        dec->applied_tempo = tempo;
        resound = retimed = TRUE;
    }
    if (resound && dec->indexer)
        restart_index(dec);
    return retimed;
}

/* Pushes the tags again once the loudness is known (streaming thread). */
static void tag_gain_when_known(VelkDec *dec)
{
    if (dec->gain_known || !dec->meter)
        return;
    if (velk_loudness_meter_result(dec->meter, FALSE, &dec->loudness)) {
        dec->gain_known = TRUE;
        GST_INFO_OBJECT(dec, "%.2f LUFS: track gain %.2f dB, true peak %.4f", dec->loudness.integrated_lufs,
                        dec->loudness.track_gain_db, dec->loudness.true_peak);
        push_tags(dec);
    }
}

/* The tempo changed while playing: a segment from the next buffer on, its
 * running time and song time going on from where they were. */
static void retime_segment(VelkDec *dec, GstClockTime pts)
{
    GST_OBJECT_LOCK(dec);
    const GstClockTime time = gst_segment_to_stream_time(&dec->segment, GST_FORMAT_TIME, pts);
    const guint64 base = gst_segment_to_running_time(&dec->segment, GST_FORMAT_TIME, pts);
    dec->segment.base = base;
    time_segment(dec, pts, time);
    GST_OBJECT_UNLOCK(dec);
    GST_DEBUG_OBJECT(dec, "tempo %.2f from song time %" GST_TIME_FORMAT, dec->applied_tempo, GST_TIME_ARGS(time));
    push_segment(dec, 0);
}

/* Opens the gathered song and starts rendering it. FALSE, with an error
 * posted, when it cannot play. */
static gboolean start_song(VelkDec *dec)
{
    const gsize size = gst_adapter_available(dec->adapter);
    if (size == 0) {
        GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("The stream is empty: no IMS song"), (NULL));
        return FALSE;
    }
    if (!negotiate(dec)) {
        GST_ELEMENT_ERROR(dec, CORE, NEGOTIATION, ("Downstream accepts none of the formats velkdec gives"),
                          ("16-bit interleaved, 1 or 2 channels, 8000 to 192000 Hz"));
        return FALSE;
    }

    gchar *location = upstream_location(dec);
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = dec->rate;
    options.channels = dec->channels;
    GST_OBJECT_LOCK(dec);
    gchar *bank = g_strdup(dec->bank && *dec->bank ? dec->bank : NULL);
    options.emulator = dec->emulator;
    options.pitch_bends = dec->pitch_bends;
    GST_OBJECT_UNLOCK(dec);
    options.bank_path = bank;
    options.location = location;

    GBytes *bytes = g_bytes_new_take(gst_adapter_take(dec->adapter, size), size);
    const guint8 *data = g_bytes_get_data(bytes, NULL);
    const gboolean ims = has_ims_head(data, size);
    velk_song *song = NULL;
    const velk_error error = velk_open_memory(data, size, NULL, 0, &options, &song);
    if (error != VELK_OK) {
        post_open_error(dec, error, song ? velk_error_message(song) : NULL, location || bank);
        velk_close(song);
        g_bytes_unref(bytes);
        g_free(bank);
        g_free(location);
        return FALSE;
    }

    /* A seek waits until the song is placed and the task runs. */
    GST_PAD_STREAM_LOCK(dec->srcpad);
    GST_OBJECT_LOCK(dec);
    dec->song = song;
    dec->duration = (GstClockTime)velk_length_ms(song) * GST_MSECOND;
    GstEvent *pending = dec->pending_seek;
    dec->pending_seek = NULL;
    GST_OBJECT_UNLOCK(dec);
    GST_INFO_OBJECT(dec, "\"%s\", %" GST_TIME_FORMAT ", %d Hz, %d channels", velk_title(song),
                    GST_TIME_ARGS(dec->duration), dec->rate, dec->channels);

    /* A new handle plays the song as it is; the listener's controls are
     * given to it before the first segment, which carries the tempo. */
    dec->applied_tempo = 1.0;
    dec->applied_transpose = 0;
    dec->applied_mute = 0;
    memset(dec->applied_gains, 0, sizeof dec->applied_gains);
    apply_controls(dec);
    dec->ims = ims;

    /* The loudness is the song's as it begins to play. */
    VelkControls controls = {dec->applied_tempo, dec->applied_transpose, dec->applied_mute, {0}};
    memcpy(controls.gains, dec->applied_gains, sizeof controls.gains);
    dec->gain_known = FALSE;
    dec->meter = velk_loudness_meter_start(bytes, &options, &controls);
    g_bytes_unref(bytes);
    g_free(bank);
    g_free(location);
    GST_OBJECT_LOCK(dec);
    const gboolean gain_first = dec->gain_tags_first;
    GST_OBJECT_UNLOCK(dec);
    if (gain_first && dec->meter) {
        dec->gain_known = velk_loudness_meter_result(dec->meter, TRUE, &dec->loudness);
        if (!dec->gain_known)
            GST_ELEMENT_WARNING(dec, STREAM, DECODE, ("The song's loudness could not be measured: no gain tags"),
                                (NULL));
    }

    GstClockTime start = 0, stop = GST_CLOCK_TIME_NONE;
    GstSeekFlags flags = 0;
    if (pending && !parse_seek(dec, pending, &start, &stop, &flags)) {
        start = 0;
        stop = GST_CLOCK_TIME_NONE;
        flags = 0;
    }
    gst_clear_event(&pending);
    gboolean ok = position_song(dec, start, stop, flags, TRUE);
    if (ok) {
        push_segment(dec, 0);
        push_tags(dec);
        restart_index(dec);
        ok = gst_pad_start_task(dec->srcpad, velk_dec_loop, dec, NULL);
    } else {
        GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("%s", velk_error_message(song)), (NULL));
    }
    GST_PAD_STREAM_UNLOCK(dec->srcpad);
    return ok;
}

/* The song ended, or reached the seek's stop. */
static void finish(VelkDec *dec)
{
    GST_OBJECT_LOCK(dec);
    const gboolean segment_seek = (dec->segment.flags & GST_SEGMENT_FLAG_SEGMENT) != 0;
    const gint64 position = (gint64)gst_segment_to_stream_time(&dec->segment, GST_FORMAT_TIME, dec->segment.position);
    GST_OBJECT_UNLOCK(dec);
    gst_pad_pause_task(dec->srcpad);
    if (segment_seek) {
        gst_element_post_message(GST_ELEMENT(dec),
                                 gst_message_new_segment_done(GST_OBJECT(dec), GST_FORMAT_TIME, position));
        gst_pad_push_event(dec->srcpad, gst_event_new_segment_done(GST_FORMAT_TIME, position));
    } else {
        gst_pad_push_event(dec->srcpad, gst_event_new_eos());
    }
}

static void velk_dec_loop(gpointer data)
{
    VelkDec *dec = VELK_DEC(data);
    const gsize frame_bytes = (gsize)dec->channels * sizeof(gint16);
    if (apply_controls(dec))
        retime_segment(dec, dec->base_time + gst_util_uint64_scale_int(dec->frames_since_base, GST_SECOND, dec->rate));
    tag_gain_when_known(dec);
    GstBuffer *buffer = gst_buffer_new_allocate(NULL, VELK_DEC_FRAMES_PER_BUFFER * frame_bytes, NULL);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const long frames = velk_render(dec->song, (int16_t *)map.data, VELK_DEC_FRAMES_PER_BUFFER);
    gst_buffer_unmap(buffer, &map);
    if (frames <= 0) {
        gst_buffer_unref(buffer);
        if (frames < 0) {
            GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("%s", velk_error_message(dec->song)), (NULL));
            gst_pad_pause_task(dec->srcpad);
            gst_pad_push_event(dec->srcpad, gst_event_new_eos());
            return;
        }
        finish(dec);
        return;
    }

    const GstClockTime pts = dec->base_time + gst_util_uint64_scale_int(dec->frames_since_base, GST_SECOND, dec->rate);
    guint64 kept = (guint64)frames;
    GST_OBJECT_LOCK(dec);
    const GstClockTime stop = dec->segment.stop;
    GST_OBJECT_UNLOCK(dec);
    gboolean at_stop = FALSE;
    if (GST_CLOCK_TIME_IS_VALID(stop)) {
        const guint64 before_stop = pts >= stop ? 0 : gst_util_uint64_scale_int_ceil(stop - pts, dec->rate, GST_SECOND);
        if (before_stop <= kept) {
            kept = before_stop;
            at_stop = TRUE;
        }
    }
    if (kept == 0) {
        gst_buffer_unref(buffer);
        finish(dec);
        return;
    }
    gst_buffer_set_size(buffer, kept * frame_bytes);
    dec->frames_since_base += kept;
    const GstClockTime end = dec->base_time + gst_util_uint64_scale_int(dec->frames_since_base, GST_SECOND, dec->rate);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = end - pts;
    if (dec->discont) {
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        dec->discont = FALSE;
    }
    GST_OBJECT_LOCK(dec);
    dec->segment.position = end;
    GST_OBJECT_UNLOCK(dec);

    const GstFlowReturn flow = gst_pad_push(dec->srcpad, buffer);
    if (flow != GST_FLOW_OK) {
        GST_DEBUG_OBJECT(dec, "pausing: %s", gst_flow_get_name(flow));
        gst_pad_pause_task(dec->srcpad);
        if (flow == GST_FLOW_EOS) {
            gst_pad_push_event(dec->srcpad, gst_event_new_eos());
        } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
            GST_ELEMENT_FLOW_ERROR(dec, flow);
            gst_pad_push_event(dec->srcpad, gst_event_new_eos());
        }
        return;
    }
    if (at_stop)
        finish(dec);
}

static GstFlowReturn velk_dec_chain(GstPad *pad, GstObject *parent, GstBuffer *buffer)
{
    (void)pad;
    VelkDec *dec = VELK_DEC(parent);
    if (dec->song) {
        /* The song is whole; anything more is not part of it. */
        gst_buffer_unref(buffer);
        return GST_FLOW_EOS;
    }
    if (gst_adapter_available(dec->adapter) + gst_buffer_get_size(buffer) > VELK_DEC_MAX_SONG_BYTES) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("The stream is larger than any IMS song (over %u MiB)",
                                                VELK_DEC_MAX_SONG_BYTES / (1024u * 1024u)),
                          (NULL));
        return GST_FLOW_ERROR;
    }
    gst_adapter_push(dec->adapter, buffer);
    return GST_FLOW_OK;
}

static gboolean velk_dec_sink_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    VelkDec *dec = VELK_DEC(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
        /* The whole song is here. */
        if (dec->song) {
            gst_event_unref(event);
            return TRUE;
        }
        /* When the song cannot play, the error posted ends the pipeline.
         * The end of the stream is not passed on: a sink prerolled by it
         * would let the pipeline start as if all were well. */
        gst_event_unref(event);
        return start_song(dec);
    case GST_EVENT_CAPS:
    case GST_EVENT_SEGMENT:
        /* The element makes its own for the audio. */
        gst_event_unref(event);
        return TRUE;
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP:
        if (dec->song) {
            gst_event_unref(event);
            return TRUE;
        }
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP)
            gst_adapter_clear(dec->adapter);
        return gst_pad_event_default(pad, parent, event);
    default:
        return gst_pad_event_default(pad, parent, event);
    }
}

static gboolean velk_dec_src_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    VelkDec *dec = VELK_DEC(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK)
        return velk_dec_seek(dec, event);
    return gst_pad_event_default(pad, parent, event);
}

static gboolean velk_dec_src_query(GstPad *pad, GstObject *parent, GstQuery *query)
{
    VelkDec *dec = VELK_DEC(parent);
    GstFormat format;
    gboolean answered = FALSE;
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION:
        gst_query_parse_duration(query, &format, NULL);
        GST_OBJECT_LOCK(dec);
        if (format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(dec->duration)) {
            gst_query_set_duration(query, GST_FORMAT_TIME, (gint64)dec->duration);
            answered = TRUE;
        }
        GST_OBJECT_UNLOCK(dec);
        return answered;
    case GST_QUERY_POSITION:
        gst_query_parse_position(query, &format, NULL);
        GST_OBJECT_LOCK(dec);
        if (format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(dec->duration)) {
            gst_query_set_position(
                query, GST_FORMAT_TIME,
                (gint64)gst_segment_to_stream_time(&dec->segment, GST_FORMAT_TIME, dec->segment.position));
            answered = TRUE;
        }
        GST_OBJECT_UNLOCK(dec);
        return answered;
    case GST_QUERY_SEEKING:
        gst_query_parse_seeking(query, &format, NULL, NULL, NULL);
        if (format != GST_FORMAT_TIME)
            return FALSE;
        GST_OBJECT_LOCK(dec);
        answered = GST_CLOCK_TIME_IS_VALID(dec->duration);
        gst_query_set_seeking(query, GST_FORMAT_TIME, answered, 0, answered ? (gint64)dec->duration : -1);
        GST_OBJECT_UNLOCK(dec);
        return TRUE;
    default:
        return gst_pad_query_default(pad, parent, query);
    }
}

static GstStateChangeReturn velk_dec_change_state(GstElement *element, GstStateChange transition)
{
    VelkDec *dec = VELK_DEC(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED)
        clear_song(dec);
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(velk_dec_parent_class)->change_state(element, transition);
    /* Deactivating the pads stopped the task: nothing uses the song now. */
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        clear_song(dec);
    return result;
}

static void velk_dec_set_property(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    VelkDec *dec = VELK_DEC(object);
    GST_OBJECT_LOCK(dec);
    switch (id) {
    case PROP_BANK:
        g_free(dec->bank);
        dec->bank = g_value_dup_string(value);
        break;
    case PROP_EMULATOR:
        dec->emulator = (velk_emulator)g_value_get_enum(value);
        break;
    case PROP_PITCH_BENDS:
        dec->pitch_bends = g_value_get_boolean(value);
        break;
    case PROP_TEMPO:
        dec->tempo = g_value_get_double(value);
        break;
    case PROP_TRANSPOSE:
        dec->transpose = g_value_get_int(value);
        break;
    case PROP_MUTE:
        dec->mute = g_value_get_uint(value);
        break;
    case PROP_VOICE_GAINS: {
        gchar *why = NULL;
        const gchar *text = g_value_get_string(value);
        if (velk_voice_gains_parse(text, dec->gains, &why)) {
            g_free(dec->voice_gains);
            dec->voice_gains = g_strdup(text);
        } else {
            /* As for a value out of a number's range: said, and not taken. */
            g_warning("velkdec: voice-gains \"%s\" not taken: %s", text, why);
            g_free(why);
        }
        break;
    }
    case PROP_GAIN_TAGS_FIRST:
        dec->gain_tags_first = g_value_get_boolean(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        break;
    }
    GST_OBJECT_UNLOCK(dec);
}

static void velk_dec_get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec)
{
    VelkDec *dec = VELK_DEC(object);
    GST_OBJECT_LOCK(dec);
    switch (id) {
    case PROP_BANK:
        g_value_set_string(value, dec->bank);
        break;
    case PROP_EMULATOR:
        g_value_set_enum(value, dec->emulator);
        break;
    case PROP_PITCH_BENDS:
        g_value_set_boolean(value, dec->pitch_bends);
        break;
    case PROP_TEMPO:
        g_value_set_double(value, dec->tempo);
        break;
    case PROP_TRANSPOSE:
        g_value_set_int(value, dec->transpose);
        break;
    case PROP_MUTE:
        g_value_set_uint(value, dec->mute);
        break;
    case PROP_VOICE_GAINS:
        g_value_set_string(value, dec->voice_gains);
        break;
    case PROP_GAIN_TAGS_FIRST:
        g_value_set_boolean(value, dec->gain_tags_first);
        break;
    case PROP_SEEK_INDEX:
        g_value_set_int64(value, dec->song ? velk_seek_indexer_reach_ms(dec->indexer) : -1);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        break;
    }
    GST_OBJECT_UNLOCK(dec);
}

static void velk_dec_finalize(GObject *object)
{
    VelkDec *dec = VELK_DEC(object);
    velk_seek_indexer_stop(dec->indexer);
    velk_loudness_meter_release(dec->meter);
    velk_close(dec->song);
    gst_clear_event(&dec->pending_seek);
    g_object_unref(dec->adapter);
    g_free(dec->bank);
    g_free(dec->voice_gains);
    G_OBJECT_CLASS(velk_dec_parent_class)->finalize(object);
}

static void velk_dec_class_init(VelkDecClass *klass)
{
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
    object_class->set_property = velk_dec_set_property;
    object_class->get_property = velk_dec_get_property;
    object_class->finalize = velk_dec_finalize;

    velk_options defaults;
    velk_options_init(&defaults);
    const GParamFlags flags = G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY;
    g_object_class_install_property(
        object_class, PROP_BANK,
        g_param_spec_string("bank", "Bank",
                            "The instrument bank (a path); none: the song's own .bnk beside it, else standard.bnk "
                            "there, each in any case",
                            NULL, flags));
    g_object_class_install_property(
        object_class, PROP_EMULATOR,
        g_param_spec_enum("emulator", "Emulator", "The OPL2 emulator", velk_dec_emulator_get_type(),
                          defaults.emulator, flags));
    g_object_class_install_property(
        object_class, PROP_PITCH_BENDS,
        g_param_spec_boolean("pitch-bends", "Pitch bends", "Let the song's pitch events bend its notes",
                             defaults.pitch_bends != 0, flags));
    /* Times stay the song's at any tempo: durations, positions and seeks. */
    const GParamFlags live = G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING;
    g_object_class_install_property(
        object_class, PROP_TEMPO,
        g_param_spec_double("tempo", "Tempo",
                            "How fast the song plays, at the same pitch (1: as written); durations and positions "
                            "stay the song's",
                            VELK_DEC_SLOWEST, VELK_DEC_FASTEST, 1.0, live));
    g_object_class_install_property(
        object_class, PROP_TRANSPOSE,
        g_param_spec_int("transpose", "Transpose", "Semitones the melodic voices are moved (the drums keep theirs)",
                         -VELK_DEC_WIDEST_TRANSPOSE, VELK_DEC_WIDEST_TRANSPOSE, 0, live));
    g_object_class_install_property(
        object_class, PROP_MUTE,
        g_param_spec_uint("mute", "Mute",
                          "Voices silenced, bit 1<<n for voice n: 9 melodic voices, or in a drum song 6 then the "
                          "bass drum, snare, tom-tom, cymbal and hi-hat",
                          0, G_MAXUINT, 0, live));
    g_object_class_install_property(
        object_class, PROP_VOICE_GAINS,
        g_param_spec_string("voice-gains", "Voice gains",
                            "Each voice's own volume, as VOICE=DB,... (\"1=-6,bd=-12\"): VOICE is 1 to 11 as velkplay "
                            "shows them, or a drum song's bd sd tt cy hh; DB is 0 down to -47.25 in the chip's steps "
                            "of 0.75 dB; voices not named stay at 0 dB, voices the song lacks are passed over",
                            NULL, live));
    g_object_class_install_property(
        object_class, PROP_GAIN_TAGS_FIRST,
        g_param_spec_boolean("gain-tags-first", "Gain tags first",
                             "Measure the song's loudness before its first buffer (an unheard render of it all), so "
                             "that the ReplayGain tags come before the audio, as an encoder downstream needs; "
                             "otherwise they follow within seconds",
                             FALSE, flags));
    g_object_class_install_property(
        object_class, PROP_SEEK_INDEX,
        g_param_spec_int64("seek-index", "Seek index",
                           "How far the seek index built in the background has got, in ms of the song (its length "
                           "once complete): seeks up to there, and back into what has played, land on the same "
                           "samples as playing from the start; -1 before a song is open",
                           -1, G_MAXINT64, -1, G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));

    gst_element_class_set_static_metadata(element_class, "IMS song decoder", "Codec/Decoder/Audio",
                                          "Plays IMS songs (Iyagi Music Song) on an emulated OPL2 chip",
                                          "The Velk developers");
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    element_class->change_state = velk_dec_change_state;
    gst_type_mark_as_plugin_api(velk_dec_emulator_get_type(), 0);
}

static void velk_dec_init(VelkDec *dec)
{
    dec->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_chain_function(dec->sinkpad, velk_dec_chain);
    gst_pad_set_event_function(dec->sinkpad, velk_dec_sink_event);
    gst_element_add_pad(GST_ELEMENT(dec), dec->sinkpad);

    dec->srcpad = gst_pad_new_from_static_template(&src_template, "src");
    gst_pad_set_event_function(dec->srcpad, velk_dec_src_event);
    gst_pad_set_query_function(dec->srcpad, velk_dec_src_query);
    gst_pad_use_fixed_caps(dec->srcpad);
    gst_element_add_pad(GST_ELEMENT(dec), dec->srcpad);

    dec->adapter = gst_adapter_new();
    velk_options defaults;
    velk_options_init(&defaults);
    dec->emulator = defaults.emulator;
    dec->pitch_bends = defaults.pitch_bends != 0;
    dec->tempo = 1.0;
    dec->applied_tempo = 1.0;
    dec->stop_song = GST_CLOCK_TIME_NONE;
    dec->duration = GST_CLOCK_TIME_NONE;
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
}

gboolean velk_dec_register(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(velk_dec_debug, "velkdec", 0, "IMS song decoder");
    return gst_element_register(plugin, "velkdec", GST_RANK_PRIMARY, VELK_TYPE_DEC);
}
