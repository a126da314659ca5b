// Lacks finiKXLPlugIn: the agent must refuse it before calling its init, which would
// leave a marker.
#include "marker_file.h"
#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    return writeMarker("MissingFini", "init-called") ? 0 : 1;
}
