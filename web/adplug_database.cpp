// AdPlug's player base reads the song database pointer that adplug.cpp
// defines; that file also registers every AdPlug song player, none of which
// libvelk plays (it has its own ROL engine). Defining the pointer here, as
// adplug.cpp does (no database), links the base without them.
#include <adplug.h>

CAdPlugDatabase *CAdPlug::database = 0;
