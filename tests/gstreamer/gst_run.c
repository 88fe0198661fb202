/* Runs a pipeline, as gst-launch-1.0 describes it, to its end, its first
 * error or a time limit, and says which. (gst-launch-1.0 itself can miss an
 * error posted before its main loop runs, and then waits for ever.)
 *
 * gst_run SECONDS PIPELINE-DESCRIPTION...
 * Status: 0 at the end of the stream, 1 on an error, 3 past the time limit.
 */
#include <stdio.h>
#include <stdlib.h>

#include <gst/gst.h>

int main(int argc, char **argv)
{
    gst_init(&argc, &argv);
    if (argc < 3) {
        fprintf(stderr, "usage: gst_run SECONDS PIPELINE-DESCRIPTION...\n");
        return 2;
    }
    const int seconds = atoi(argv[1]);
    GError *error = NULL;
    GstElement *pipeline = gst_parse_launchv((const gchar **)argv + 2, &error);
    if (!pipeline) {
        fprintf(stderr, "gst_run: %s\n", error->message);
        return 2;
    }
    GstBus *bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage *message =
        gst_bus_timed_pop_filtered(bus, (GstClockTime)seconds * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    int status = 3;
    if (!message) {
        printf("no end within %d s\n", seconds);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        printf("EOS\n");
        status = 0;
    } else {
        GError *failure = NULL;
        gchar *debug = NULL;
        gst_message_parse_error(message, &failure, &debug);
        gchar *source = gst_object_get_path_string(GST_MESSAGE_SRC(message));
        printf("ERROR from %s: %s\n%s\n", source, failure->message, debug ? debug : "");
        g_free(source);
        g_free(debug);
        g_error_free(failure);
        status = 1;
    }
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return status;
}
