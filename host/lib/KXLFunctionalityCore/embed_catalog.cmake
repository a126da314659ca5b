# cmake -DINPUT=catalog.json -DOUTPUT=builtinCatalogText.cpp -P embed_catalog.cmake
# The catalogue's text as a C++ array, every byte as \xNN: no quoting rules, and any text is
# exact. The test of the built-in catalogue reads it.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} at build time; edit that file instead.
#include <cstddef>

namespace KXP {
extern const char builtinCatalogText[];
extern const std::size_t builtinCatalogSize;
const char builtinCatalogText[] = \"${escaped}\";
const std::size_t builtinCatalogSize = sizeof builtinCatalogText - 1;
} // namespace KXP
")
