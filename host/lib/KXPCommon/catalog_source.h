// The catalogue the server currently serves.
#ifndef KXPCOMMON_CATALOGSOURCE_H
#define KXPCOMMON_CATALOGSOURCE_H

#include "host/KXPServer.h"

namespace KXP {

// Reads the catalogue set by setCatalogFile (the built-in one by default), as parseCatalog.
int serveCatalog(KXPOSMap& supported, KXPOSMap& experimental);

} // namespace KXP

#endif
