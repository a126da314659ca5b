// Serializes a message tree as a .voc file's bytes.
#ifndef KXLMESSAGE_VOCWRITER_H
#define KXLMESSAGE_VOCWRITER_H

#include <string>

#include "host/KXLMessageTree.h"

namespace KXL::voc {

// False with `error` set when the tree cannot be represented so that it reads back the same
// (a non-positive tag, a named value that is not an int, nesting beyond the bound, ...).
// Throws std::bad_alloc when memory runs out.
bool writeVoc(const KXLDocument& document, std::string& bytes, std::string& error);

} // namespace KXL::voc

#endif
