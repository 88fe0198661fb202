/* The whole shared song (AMG0018, laid out as SONG.IMS beside SONG.BNK)
 * through filesrc ! velkdec ! fakesink against the library rendering it
 * into memory, in the same format (the library's default: 44100 Hz stereo,
 * Nuked). The two run in pairs, one right after the other, and the ratio is
 * the median of the pairs' ratios: on a shared machine the speed drifts
 * from one second to the next, and a pair meets one machine. Both the time
 * on the clock and the processor time of the whole process (every thread of
 * the pipeline counted) are compared. Target: at most 1.10. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <glib/gstdio.h>
#include <gst/gst.h>

#include "libvelk/velk.h"

#define PAIRS 9

typedef struct {
    double wall;
    double cpu;
} Cost;

static Cost now(void)
{
    struct timespec cpu;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return (Cost){(double)g_get_monotonic_time() / G_USEC_PER_SEC, (double)cpu.tv_sec + cpu.tv_nsec / 1e9};
}

static Cost since(Cost start)
{
    Cost end = now();
    return (Cost){end.wall - start.wall, end.cpu - start.cpu};
}

static int by_value(const void *a, const void *b)
{
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static double median(double *values, int count)
{
    qsort(values, (size_t)count, sizeof *values, by_value);
    return values[count / 2];
}

static Cost library_run(const char *path, long long *frames_out)
{
    static int16_t buffer[4096 * 2];
    const Cost start = now();
    velk_song *song = NULL;
    if (velk_open_file(path, NULL, &song) != VELK_OK) {
        fprintf(stderr, "gst_bench: %s: %s\n", path, velk_error_message(song));
        exit(1);
    }
    long long frames = 0;
    long n;
    while ((n = velk_render(song, buffer, 4096)) > 0)
        frames += n;
    velk_close(song);
    *frames_out = frames;
    return since(start);
}

static Cost pipeline_run(const char *path)
{
    gchar *description = g_strdup_printf("filesrc location=\"%s\" ! velkdec ! fakesink sync=false", path);
    GError *error = NULL;
    const Cost start = now();
    GstElement *pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline) {
        fprintf(stderr, "gst_bench: %s\n", error->message);
        exit(1);
    }
    GstBus *bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage *message = gst_bus_timed_pop_filtered(bus, 600 * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    if (!message || GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS) {
        fprintf(stderr, "gst_bench: the pipeline did not reach the end\n");
        exit(1);
    }
    const Cost elapsed = since(start);
    gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return elapsed;
}

/* The song and its bank as a DOS collection names them, in a folder of the
 * benchmark's own; its path. */
static gchar *lay_out_song(const gchar *folder)
{
    gchar *song = g_build_filename(folder, "SONG.IMS", NULL);
    gchar *bank = g_build_filename(folder, "SONG.BNK", NULL);
    gchar *data = NULL;
    gsize size = 0;
    if (!g_file_get_contents(VELK_BENCH_SONGS "/AMG0018.IMS", &data, &size, NULL) ||
        !g_file_set_contents(song, data, (gssize)size, NULL)) {
        g_free(data);
        g_free(song);
        g_free(bank);
        return NULL;
    }
    g_free(data);
    if (!g_file_get_contents(VELK_BENCH_SONGS "/STANDARD.BNK", &data, &size, NULL) ||
        !g_file_set_contents(bank, data, (gssize)size, NULL)) {
        g_free(song);
        song = NULL;
    }
    g_free(data);
    g_free(bank);
    return song;
}

int main(int argc, char **argv)
{
    gchar *folder = g_dir_make_tmp("velk-gst-bench-XXXXXX", NULL);
    gchar *registry = g_build_filename(folder, "registry.bin", NULL);
    /* The plug-in from this build, with a registry of the benchmark's own. */
    g_setenv("GST_PLUGIN_PATH", VELK_BENCH_PLUGIN_DIR, TRUE);
    g_setenv("GST_REGISTRY", registry, TRUE);
    gst_init(&argc, &argv);
    gchar *song = lay_out_song(folder);
    if (!song) {
        printf("skipped: AMG0018.IMS or STANDARD.BNK not found in %s\n", VELK_BENCH_SONGS);
        return 0;
    }
    GstElementFactory *factory = gst_element_factory_find("velkdec");
    if (!factory) {
        fprintf(stderr, "gst_bench: velkdec not found in %s\n", VELK_BENCH_PLUGIN_DIR);
        return 1;
    }
    gst_object_unref(factory);
    pipeline_run(song); /* the registry, the caches */

    double wall_ratios[PAIRS], cpu_ratios[PAIRS];
    double library_wall[PAIRS], pipeline_wall[PAIRS];
    long long frames = 0;
    for (int i = 0; i < PAIRS; ++i) {
        const Cost library = library_run(song, &frames);
        const Cost pipeline = pipeline_run(song);
        wall_ratios[i] = pipeline.wall / library.wall;
        cpu_ratios[i] = pipeline.cpu / library.cpu;
        library_wall[i] = library.wall;
        pipeline_wall[i] = pipeline.wall;
    }
    const double seconds = (double)frames / 44100.0;
    const double library_ms = median(library_wall, PAIRS) * 1000, pipeline_ms = median(pipeline_wall, PAIRS) * 1000;
    printf("AMG0018 as SONG.IMS: %.1f s of music, %d pairs of runs (medians)\n", seconds, PAIRS);
    printf("  library into memory            %8.1f ms  (%.0f x real time)\n", library_ms, seconds * 1000 / library_ms);
    printf("  filesrc ! velkdec ! fakesink   %8.1f ms  (%.0f x real time)\n", pipeline_ms,
           seconds * 1000 / pipeline_ms);
    printf("  ratio pipeline / library       %8.3f on the clock, %.3f in processor time (target at most 1.10)\n",
           median(wall_ratios, PAIRS), median(cpu_ratios, PAIRS));
    g_unlink(song);
    gchar *bank = g_build_filename(folder, "SONG.BNK", NULL);
    g_unlink(bank);
    g_unlink(registry);
    g_rmdir(folder);
    g_free(bank);
    g_free(song);
    g_free(registry);
    g_free(folder);
    return 0;
}
