/* The type finder for IMS songs: audio/x-ims. */
#ifndef VELK_GST_TYPE_FIND_H
#define VELK_GST_TYPE_FIND_H

#include <gst/gst.h>

G_BEGIN_DECLS

gboolean velk_type_find_register(GstPlugin *plugin);

G_END_DECLS

#endif
