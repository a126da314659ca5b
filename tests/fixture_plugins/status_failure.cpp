// Fails its init the way a plug-in reports a failed host call: a non-zero status with
// the host's error text set. Its fini still runs and leaves a marker.
#include "host/KXLError.h"
#include "marker_file.h"
#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    KXL::setErrorMessage("failing on purpose");
    return 7;
}

int finiKXLPlugIn()
{
    return writeMarker("StatusFailure", "fini-called") ? 0 : 1;
}
