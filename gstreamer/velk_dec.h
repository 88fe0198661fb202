/* velkdec: decodes a whole IMS song into raw audio through libvelk. */
#ifndef VELK_GST_DEC_H
#define VELK_GST_DEC_H

#include <gst/gst.h>

G_BEGIN_DECLS

#define VELK_TYPE_DEC (velk_dec_get_type())
G_DECLARE_FINAL_TYPE(VelkDec, velk_dec, VELK, DEC, GstElement)

gboolean velk_dec_register(GstPlugin *plugin);

G_END_DECLS

#endif
