// Prints a line through each of the two standard output streams a plug-in may use, and
// succeeds: where its words go is the agent's business.
#include <cstdio>
#include <iostream>

#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    std::cout << "Chatty: through std::cout" << std::endl;
    std::printf("Chatty: through printf\n");
    std::fflush(stdout);
    return 0;
}

int finiKXLPlugIn()
{
    return 0;
}
