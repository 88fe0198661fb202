/* The plug-in "velk": IMS songs in any GStreamer player. */
/* GST_PLUGIN_DEFINE names the package that ships the plug-in. */
#define PACKAGE "velk"

#include <gst/gst.h>

#include "gstreamer/velk_dec.h"
#include "gstreamer/velk_type_find.h"
#include "libvelk/velk.h"

static gboolean plugin_init(GstPlugin *plugin)
{
    return velk_type_find_register(plugin) && velk_dec_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, velk, "IMS songs (Iyagi Music Song) through libvelk",
                  plugin_init, VELK_VERSION_STRING, "LGPL", "velk", VELK_PLUGIN_ORIGIN)
