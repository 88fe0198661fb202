// The About box: the dialog of the module's resources on Windows, its texts
// on standard error elsewhere.
#pragma once

#include "platform/host_interface.h"

namespace velk {

// Shows the About box from `instance`'s resources, modal to `parent`, and
// returns when it is closed.
void showAboutBox(HostInstance instance, HostWindow parent);

} // namespace velk
