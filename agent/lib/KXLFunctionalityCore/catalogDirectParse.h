// The quick way through a well-formed catalogue.
#ifndef KXLFUNCTIONALITYCORE_CATALOGDIRECTPARSE_H
#define KXLFUNCTIONALITYCORE_CATALOGDIRECTPARSE_H

#include <string>

#include "host/KXPServer.h"

namespace KXP {

// Reads a catalogue straight into the maps, with no JSON tree in between. Stricter than
// parseCatalog, never looser: false at the first thing it does not expect, with the maps
// in an unspecified state and no error text; parseCatalog then finds and names the problem.
bool parseCatalogDirect(const std::string& text, KXPOSMap& supported, KXPOSMap& experimental);

} // namespace KXP

#endif
