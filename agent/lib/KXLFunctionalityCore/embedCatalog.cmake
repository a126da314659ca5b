# cmake -DINPUT=catalog.json -DOUTPUT=builtinCatalogData.cpp -P embedCatalog.cmake
# The catalogue becomes a table of entries; a file CMake cannot read as JSON fails the build.
# Its finer rules (keys, types, codes once) are checked by the test that reads the same file
# with the catalogue parser and compares.
file(READ "${INPUT}" json)

# Every byte as \xNN: no quoting rules, and any text is exact.
function(cxx_literal text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  set(${out} "\"${escaped}\"" PARENT_SCOPE)
endfunction()

set(rows "")
set(count 0)
foreach(list supported experimental)
  string(JSON length LENGTH "${json}" ${list})
  if(length EQUAL 0)
    continue()
  endif()
  math(EXPR last "${length} - 1")
  if(list STREQUAL "experimental")
    set(flag true)
  else()
    set(flag false)
  endif()
  foreach(i RANGE ${last})
    string(JSON code GET "${json}" ${list} ${i} code)
    set(properties "")
    foreach(property property1 property2 property3 property4)
      string(JSON value ERROR_VARIABLE missing GET "${json}" ${list} ${i} ${property})
      if(missing)
        string(APPEND properties "nullptr, ")
      else()
        cxx_literal("${value}" literal)
        string(APPEND properties "${literal}, ")
      endif()
    endforeach()
    string(APPEND rows "    {${flag}, ${code}u, {${properties}}},\n")
    math(EXPR count "${count} + 1")
  endforeach()
endforeach()

file(WRITE "${OUTPUT}" "// Generated from ${INPUT} at build time; edit that file instead.
#include \"agent/lib/KXLFunctionalityCore/builtinCatalogData.h\"

namespace KXP {
namespace builtin {

const Entry entries[] = {
${rows}    {false, 0u, {nullptr, nullptr, nullptr, nullptr}}};
const std::size_t entryCount = ${count};

} // namespace builtin
} // namespace KXP
")
