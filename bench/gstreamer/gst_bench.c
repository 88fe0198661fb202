/* The whole shared song through filesrc ! velkdec ! fakesink against the
 * library rendering it into memory, in the same format (the library's
 * default: 44100 Hz stereo, Nuked). Runs alternate, and the best of each is
 * kept, so that both meet the same machine. Target: at most 1.10. */
#include <stdio.h>
#include <stdlib.h>

#include <glib/gstdio.h>
#include <gst/gst.h>

#include "libvelk/velk.h"

#define RUNS 5

static double now(void) { return (double)g_get_monotonic_time() / G_USEC_PER_SEC; }

static double library_run(const char *path, long long *frames_out)
{
    static int16_t buffer[4096 * 2];
    const double start = now();
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
    return now() - start;
}

static double pipeline_run(const char *path)
{
    gchar *description = g_strdup_printf("filesrc location=\"%s\" ! velkdec ! fakesink sync=false", path);
    GError *error = NULL;
    const double start = now();
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
    const double elapsed = now() - start;
    gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return elapsed;
}

int main(int argc, char **argv)
{
    /* The plug-in from this build, with a registry of the benchmark's own. */
    gchar *registry = g_build_filename(g_get_tmp_dir(), "velk-gst-bench-registry.bin", NULL);
    g_setenv("GST_PLUGIN_PATH", VELK_BENCH_PLUGIN_DIR, TRUE);
    g_setenv("GST_REGISTRY", registry, TRUE);
    gst_init(&argc, &argv);
    const char *song = argc > 1 ? argv[1] : VELK_BENCH_SONG;
    if (!g_file_test(song, G_FILE_TEST_EXISTS)) {
        printf("skipped: %s not found\n", song);
        return 0;
    }
    if (!gst_element_factory_find("velkdec")) {
        fprintf(stderr, "gst_bench: velkdec not found in %s\n", VELK_BENCH_PLUGIN_DIR);
        return 1;
    }
    pipeline_run(song); /* the registry, the caches */

    double best_library = 1e9, best_pipeline = 1e9;
    long long frames = 0;
    for (int i = 0; i < RUNS; ++i) {
        const double library = library_run(song, &frames);
        const double pipeline = pipeline_run(song);
        best_library = library < best_library ? library : best_library;
        best_pipeline = pipeline < best_pipeline ? pipeline : best_pipeline;
    }
    const double seconds = (double)frames / 44100.0;
    printf("%s: %.1f s of music, best of %d runs each\n", song, seconds, RUNS);
    printf("  library into memory            %8.1f ms  (%.0f x real time)\n", best_library * 1000,
           seconds / best_library);
    printf("  filesrc ! velkdec ! fakesink   %8.1f ms  (%.0f x real time)\n", best_pipeline * 1000,
           seconds / best_pipeline);
    printf("  ratio pipeline / library       %8.3f  (target at most 1.10)\n", best_pipeline / best_library);
    g_unlink(registry);
    g_free(registry);
    return 0;
}
