// The readable form of a vocabulary: what host-agent prints for the cache and for `show`.
#ifndef AGENT_VOCABULARY_PRINTER_H
#define AGENT_VOCABULARY_PRINTER_H

#include <ostream>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "host/KXLMessageTree.h"
#include "vocabulary_model.h"

namespace KXL {

// The vocabulary under `name` as text: its version stamp, then tables of its categories,
// network adapters and guest operating systems, then every entry that fits none of these
// shapes as an indented dump, so nothing the document holds is left out. A document that
// is not a vocabulary (one element 1307 holding one element 1044) is dumped whole. All
// texts from the document are escaped (escapeText).
// An empty name is shown as "(unnamed)". A non-empty remark is printed as its own line
// below the title.
void printVocabulary(std::ostream& out, const std::string& name, const KXLDocument& document,
                     std::string_view remark = {});
std::string printVocabulary(const std::string& name, const KXLDocument& document);

// Only the guest OSes for which wanted(entry) holds, as the table printVocabulary prints,
// under the same title. Returns how many there were; prints nothing when none.
std::size_t printGuests(std::ostream& out, const std::string& name, const KXLDocument& document,
                        const std::function<bool(const KXLGuestEntry&)>& wanted,
                        std::string_view remark = {});

} // namespace KXL

#endif
