/* Ids of the plug-in's resources, shared by the resource script and the code. */
#pragma once

#define IDD_ABOUT 102
/* The embedded converter, under the resource type "IDR_FILE". */
#define IDR_CONVERTER 125
