// Parses a .voc file's bytes strictly into a message tree.
#ifndef KXLMESSAGE_VOCREADER_H
#define KXLMESSAGE_VOCREADER_H

#include <string>
#include <string_view>

#include "file_window.h"
#include "host/KXLMessageTree.h"

namespace KXL::voc {

// False with `error` saying what is wrong and where (line numbers); `document` is then
// unspecified. Throws std::bad_alloc when memory runs out.
bool readVoc(std::string_view bytes, KXLDocument& document, std::string& error);

// The same, reading the file as the scan goes: memory holds the tree and a window of the
// file, not the whole file: a quarter of a megabyte, grown where a start tag or a leaf
// (<string>, <int>, <named>), each held whole, is longer.
bool readVoc(FileWindow& file, KXLDocument& document, std::string& error);

} // namespace KXL::voc

#endif
