// Host side: the guest OS catalogue that the server serves.
#ifndef HOST_KXPCATALOG_H
#define HOST_KXPCATALOG_H

#include <cstddef>
#include <string>
#include <string_view>

#include "host/KXPServer.h"

namespace KXP {

// The catalogue getOSMaps serves from now on: a JSON file, or the built-in one when
// the path is empty. Read at every getOSMaps, so errors surface there.
void setCatalogFile(const std::string& path);

// Reads and checks a JSON catalogue file now, as readCatalogFile, and makes it the one
// getOSMaps serves: the next `readers` getOSMaps (at least one) hand out what was read here
// instead of parsing the file again, so that every plug-in of a run gets the same catalogue
// however the file changes meanwhile; later ones read the file anew. The last of them takes
// it over, the others get copies. The catalogue served is unchanged on failure.
int preloadCatalogFile(const std::string& path, std::size_t readers);

// Parses a JSON catalogue text; `origin` names its source in error texts. 0, or a
// negative status with the error text set; the maps are filled only on success.
int parseCatalog(std::string_view json, std::string_view origin, KXPOSMap& supported, KXPOSMap& experimental);

// Reads a JSON catalogue file, as parseCatalog.
int readCatalogFile(const std::string& path, KXPOSMap& supported, KXPOSMap& experimental);

// The built-in catalogue.
int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental);

} // namespace KXP

#endif
