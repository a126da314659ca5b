// Host side of the message library: the .voc file format and access to a message's tree.
#ifndef HOST_KXLMESSAGEFILE_H
#define HOST_KXLMESSAGEFILE_H

#include <cstddef>
#include <string>
#include <string_view>

#include "host/KXLMessageTree.h"

namespace KXL {

class KXLMessage;

// The .voc format version the library writes and the only one it reads.
inline constexpr std::string_view kVocFormatVersion = "1";

// The largest .voc file the library writes or reads: room for about 1.5 million guest OSes.
inline constexpr std::size_t kMaxVocFileSize = std::size_t{1} << 30;

// The tree of a message made by KXLMsgFactory::createNew.
const KXLDocument& messageDocument(const KXLMessage& message);

// Writes the document to path atomically. 0, or non-zero with the error text set
// (naming the path and the reason); an existing file is then left untouched.
int saveDocument(const KXLDocument& document, const std::string& path);

// Reads .voc bytes strictly, as loadDocument does a file; `name` stands for the source in
// the error text ("cannot load NAME: reason").
int loadDocumentFromBytes(std::string_view bytes, const std::string& name, KXLDocument& document);

// Reads a .voc file strictly. 0, or non-zero with the error text set (naming the path
// and the reason); `document` is then unchanged.
int loadDocument(const std::string& path, KXLDocument& document);

} // namespace KXL

#endif
