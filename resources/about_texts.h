/* The About box's texts, shared by the resource script (the dialog) and the
   module (which prints them where there are no dialogs). */
#pragma once

#define VELK_ABOUT_CAPTION "About IN_VELK.DLL"
#define VELK_ABOUT_PURPOSE "Iyagi Music Song (IMS) play plugin for WinAmp."
#define VELK_ABOUT_VERSION "version 1.0"
#define VELK_ABOUT_CREDITS "Using ruz2avu.exe and AdPlug :-)"
#define VELK_ABOUT_EMAIL "E-mail: velk-team@users.noreply.example"
#define VELK_ABOUT_WEB "Web: https://velk.example/in_velk"
