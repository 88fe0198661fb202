#include "module/about_box.h"

#include <cstdio>

#include "resources/about_texts.h"

namespace velk {

void showAboutBox(HostInstance, HostWindow)
{
    std::fputs(VELK_ABOUT_CAPTION "\n"
               "  " VELK_ABOUT_PURPOSE "\n"
               "  " VELK_ABOUT_VERSION "\n"
               "  " VELK_ABOUT_CREDITS "\n"
               "  " VELK_ABOUT_EMAIL "\n"
               "  " VELK_ABOUT_WEB "\n",
               stderr);
}

} // namespace velk
