// Serializes a message tree as a .voc file's bytes, in pieces.
#ifndef KXLMESSAGE_VOCWRITER_H
#define KXLMESSAGE_VOCWRITER_H

#include <cstdint>
#include <string>

#include "common/byte_sink.h"
#include "host/KXLMessageFile.h"
#include "host/KXLMessageTree.h"

namespace KXL::voc {

// Writes the document in pieces of about a megabyte. False with `error` set when the tree
// cannot be represented so that it reads back the same (a non-positive tag, a named value
// at the top level or with an empty name, nesting beyond the bound, an nsid of 0, an empty
// namespace or type), when the file would pass `maxBytes` (the reader's size limit) or the
// sink fails; what was written is then to be thrown away. Throws std::bad_alloc when memory
// runs out.
bool writeVoc(const KXLDocument& document, sys::ByteSink& sink, std::string& error,
              std::uint64_t maxBytes = kMaxVocFileSize);

// The same into one string.
bool writeVoc(const KXLDocument& document, std::string& bytes, std::string& error);

} // namespace KXL::voc

#endif
