// The built-in catalogue, compiled from agent/data/catalog.json at build time, so that
// serving it parses nothing.
#ifndef KXLFUNCTIONALITYCORE_BUILTINCATALOGDATA_H
#define KXLFUNCTIONALITYCORE_BUILTINCATALOGDATA_H

#include <cstddef>

namespace KXP {
namespace builtin {

struct Entry {
    bool experimental;
    unsigned int code;
    const char* properties[4]; // null: not set in the catalogue
};

extern const Entry entries[];
extern const std::size_t entryCount;

} // namespace builtin
} // namespace KXP

#endif
