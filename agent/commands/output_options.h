// What run and show print, as the options of either ask for it.
#ifndef AGENT_OUTPUT_OPTIONS_H
#define AGENT_OUTPUT_OPTIONS_H

#include <string>

#include "agent/output/vocabulary_printer.h"

namespace KXL {

struct OutputOptions {
    bool json = false; // one JSON document on `out` instead of the text
    std::string metricsFile; // non-empty: the series written there; "-": `out`, instead of the text
    bool metricsGuestOs = true; // with one info series per guest OS
    GuestColumns columns; // of the guest OS table; empty: all
};

} // namespace KXL

#endif
