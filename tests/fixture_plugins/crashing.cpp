// Brings the agent down from its init, as a plug-in with a wild pointer would.
#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    __builtin_trap();
}

int finiKXLPlugIn()
{
    return 0;
}
