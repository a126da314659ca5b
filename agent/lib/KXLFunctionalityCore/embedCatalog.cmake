# cmake -DINPUT=catalog.json -DOUTPUT=builtinCatalogData.cpp -P embedCatalog.cmake
# Bytes rather than a string literal: no quoting rules and no literal length limits.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "(................................)" "\\1\n    " hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} at build time; edit that file instead.
#include \"agent/lib/KXLFunctionalityCore/builtinCatalogData.h\"

namespace KXP {
namespace builtin {

const unsigned char catalogData[] = {
    ${bytes}0x00};
const std::size_t catalogSize = ${size};

} // namespace builtin
} // namespace KXP
")
