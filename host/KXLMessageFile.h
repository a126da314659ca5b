// Host side of the message library: the .voc file format and access to a message's tree.
#ifndef HOST_KXLMESSAGEFILE_H
#define HOST_KXLMESSAGEFILE_H

#include <string>

#include "host/KXLMessageTree.h"

namespace KXL {

class KXLMessage;

// The tree of a message made by KXLMsgFactory::createNew.
const KXLDocument& messageDocument(const KXLMessage& message);

// Writes the document to path atomically. 0, or non-zero with the error text set
// (naming the path and the reason); an existing file is then left untouched.
int saveDocument(const KXLDocument& document, const std::string& path);

// Reads a .voc file strictly. 0, or non-zero with the error text set (naming the path
// and the reason); `document` is then unchanged.
int loadDocument(const std::string& path, KXLDocument& document);

} // namespace KXL

#endif
