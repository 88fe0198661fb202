// The module's two notices: a message box with an OK button on Windows, the
// same text on standard error elsewhere.
#pragma once

#include "platform/host_interface.h"

namespace velk {

inline constexpr char noticeCaption[] = "IN_VELK.DLL";
inline constexpr char configNotice[] = "Nothing to configure";
inline constexpr char infoBoxNotice[] = "Sorry!!\r\nFile information not supported";

// Shows `text` under the caption "IN_VELK.DLL", modal to `parent`.
void showNotice(HostWindow parent, const char *text);

} // namespace velk
