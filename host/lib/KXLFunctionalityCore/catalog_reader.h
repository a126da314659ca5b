// Inside the library: the catalogue reader, which hands each entry on as it reads it.
#ifndef KXLFUNCTIONALITYCORE_CATALOGREADER_H
#define KXLFUNCTIONALITYCORE_CATALOGREADER_H

#include <functional>
#include <string_view>

namespace KXP {

struct CatalogEntry {
    unsigned int code;
    std::string_view properties[4]; // valid during the call; no data() when unset
};

// Called with 0 (supported) or 1 (experimental) and each entry with a valid code, a repeated
// one too: the reading fails afterwards.
using CatalogSink = std::function<void(int list, const CatalogEntry& entry)>;

// 0, or the negative status with the error text set; throws what the sink throws and
// std::bad_alloc.
int readCatalog(std::string_view text, std::string_view origin, const CatalogSink& sink);

} // namespace KXP

#endif
