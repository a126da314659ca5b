// The built-in catalogue's JSON text, generated from agent/data/catalog.json at build time.
#ifndef KXLFUNCTIONALITYCORE_BUILTINCATALOGDATA_H
#define KXLFUNCTIONALITYCORE_BUILTINCATALOGDATA_H

#include <cstddef>

namespace KXP {
namespace builtin {

extern const unsigned char catalogData[]; // NUL-terminated
extern const std::size_t catalogSize; // without the NUL

} // namespace builtin
} // namespace KXP

#endif
