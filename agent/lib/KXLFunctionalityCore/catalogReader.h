// Inside the library: the catalogue as the reader leaves it, before the maps are made.
#ifndef KXLFUNCTIONALITYCORE_CATALOGREADER_H
#define KXLFUNCTIONALITYCORE_CATALOGREADER_H

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/KXPServer.h"

namespace KXP {

struct CatalogEntry {
    unsigned int code;
    unsigned int index; // in its list, as the file has it
    std::string_view properties[4]; // of the text or of Catalog::decoded; no data() when unset
};

struct Catalog {
    std::vector<CatalogEntry> lists[2]; // supported, experimental; codes ascending
    std::deque<std::string> decoded; // strings that held escapes or non-ASCII bytes
};

// 0 and the catalogue in an empty `catalog`, or the negative status with the error text set;
// throws std::bad_alloc. `text` must outlive the catalogue.
int readCatalog(std::string_view text, const std::string& origin, Catalog& catalog);

} // namespace KXP

#endif
