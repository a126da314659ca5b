// Prints lines through both standard output streams a plug-in may use, in turn and unflushed
// between, and succeeds: where its words go, in their order, is the agent's business.
#include <cstdio>
#include <iostream>

#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    std::cout << "Chatty: through std::cout\n";
    std::printf("Chatty: through printf\n");
    std::cout << "Chatty: through std::cout again\n";
    std::cout.flush();
    std::fflush(stdout);
    return 0;
}

int finiKXLPlugIn()
{
    return 0;
}
