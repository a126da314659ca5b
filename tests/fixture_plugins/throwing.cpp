// Lets an exception escape its init.
#include <stdexcept>

#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    throw std::runtime_error("thrown on purpose");
}

int finiKXLPlugIn()
{
    return 0;
}
