#include "gstreamer/velk_loudness_meter.h"

#include <gst/gst.h>

GST_DEBUG_CATEGORY_STATIC(velk_loudness_debug);
#define GST_CAT_DEFAULT velk_loudness_debug

typedef enum { MEASURING, MEASURED, FAILED } MeterState;

/* Shared by the element and the thread; the last to let go frees it. */
struct VelkLoudnessMeter {
    GBytes *song;
    velk_options options;
    gchar *bank_path;
    gchar *location;
    VelkControls controls;

    GMutex lock;
    GCond ended;
    MeterState state;
    velk_loudness loudness;
};

static void meter_clear(gpointer data)
{
    VelkLoudnessMeter *meter = data;
    g_bytes_unref(meter->song);
    g_free(meter->bank_path);
    g_free(meter->location);
    g_mutex_clear(&meter->lock);
    g_cond_clear(&meter->ended);
}

void velk_controls_apply(velk_song *song, const VelkControls *controls)
{
    velk_set_tempo(song, controls->tempo);
    velk_set_transpose(song, controls->transpose);
    velk_set_muted_voices(song, controls->mute);
    for (int voice = 0; voice < velk_voice_count(song) && voice < VELK_MAX_VOICES; ++voice)
        velk_set_voice_gain(song, voice, controls->gains[voice]);
}

static gpointer measure(gpointer data)
{
    VelkLoudnessMeter *meter = data;
    const gint64 started = g_get_monotonic_time();
    gsize size = 0;
    const void *bytes = g_bytes_get_data(meter->song, &size);
    velk_song *song = NULL;
    velk_loudness loudness = {0};
    velk_error error = velk_open_memory(bytes, size, NULL, 0, &meter->options, &song);
    if (error == VELK_OK) {
        velk_controls_apply(song, &meter->controls);
        error = velk_measure_loudness(song, &loudness);
    }
    if (error != VELK_OK)
        GST_WARNING("no loudness: %s", song ? velk_error_message(song) : velk_error_string(error));
    else
        GST_DEBUG("%.2f LUFS, true peak %.4f, in %" G_GINT64_FORMAT " ms", loudness.integrated_lufs,
                  loudness.true_peak, (g_get_monotonic_time() - started) / 1000);
    velk_close(song);

    g_mutex_lock(&meter->lock);
    meter->loudness = loudness;
    meter->state = error == VELK_OK ? MEASURED : FAILED;
    g_cond_broadcast(&meter->ended);
    g_mutex_unlock(&meter->lock);
    g_atomic_rc_box_release_full(meter, meter_clear);
    return NULL;
}

VelkLoudnessMeter *velk_loudness_meter_start(GBytes *song, const velk_options *options, const VelkControls *controls)
{
    static gsize debug_ready = 0;
    if (g_once_init_enter(&debug_ready)) {
        GST_DEBUG_CATEGORY_INIT(velk_loudness_debug, "velkdec-loudness", 0, "velkdec's loudness for ReplayGain");
        g_once_init_leave(&debug_ready, 1);
    }
    VelkLoudnessMeter *meter = g_atomic_rc_box_new0(VelkLoudnessMeter);
    meter->song = g_bytes_ref(song);
    meter->options = *options;
    meter->bank_path = g_strdup(options->bank_path);
    meter->location = g_strdup(options->location);
    meter->options.bank_path = meter->bank_path;
    meter->options.location = meter->location;
    meter->controls = *controls;
    g_mutex_init(&meter->lock);
    g_cond_init(&meter->ended);
    meter->state = MEASURING;

    GError *error = NULL;
    GThread *thread = g_thread_try_new("velkdec-loudness", measure, g_atomic_rc_box_acquire(meter), &error);
    if (!thread) {
        GST_WARNING("no thread to measure the loudness: %s", error->message);
        g_error_free(error);
        g_atomic_rc_box_release_full(meter, meter_clear);
        g_atomic_rc_box_release_full(meter, meter_clear);
        return NULL;
    }
    g_thread_unref(thread);
    return meter;
}

gboolean velk_loudness_meter_result(VelkLoudnessMeter *meter, gboolean wait, velk_loudness *out)
{
    if (!meter)
        return FALSE;
    g_mutex_lock(&meter->lock);
    while (wait && meter->state == MEASURING)
        g_cond_wait(&meter->ended, &meter->lock);
    const gboolean measured = meter->state == MEASURED;
    if (measured)
        *out = meter->loudness;
    g_mutex_unlock(&meter->lock);
    return measured;
}

void velk_loudness_meter_release(VelkLoudnessMeter *meter)
{
    if (meter)
        g_atomic_rc_box_release_full(meter, meter_clear);
}
