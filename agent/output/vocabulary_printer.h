// The readable form of a vocabulary: what host-agent prints for the cache and for `show`.
#ifndef AGENT_VOCABULARY_PRINTER_H
#define AGENT_VOCABULARY_PRINTER_H

#include <ostream>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/KXLMessageTree.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

// The guest OS table's columns to print, by their place in guestColumnList.
using GuestColumns = std::vector<std::size_t>;

// The names --columns takes, in the default order and as a list for people: "code,
// identifier, display_name, experimental", then kGuestValueNames.
const std::string& guestColumnList();

// The columns a comma-separated list of names picks, in its order. A name that is none of
// guestColumnList(): std::invalid_argument naming them.
GuestColumns guestColumnsNamed(std::string_view list);

// The vocabulary under `name` as text: its version stamp, then tables of its categories,
// network adapters and guest operating systems, then every entry that fits none of these
// shapes as an indented dump, so nothing the document holds is left out. The adapter and
// guest OS sections are printed when the vocabulary defines their category or holds such
// an entry: another plug-in's vocabulary shows only what it has. A document that is not a
// vocabulary (one element 1307 holding one element 1044) is dumped whole. All texts from
// the document are escaped (escapeText).
// An empty name is shown as "(unnamed)". A non-empty remark is printed as its own line
// below the title. Empty columns: every guest OS column.
void printVocabulary(std::ostream& out, const std::string& name, const KXLDocument& document,
                     std::string_view remark = {}, const GuestColumns& columns = {});
std::string printVocabulary(const std::string& name, const KXLDocument& document,
                            const GuestColumns& columns = {});

// Only the guest OSes for which wanted(entry) holds, as the table printVocabulary prints,
// under the same title. Returns how many there were; prints nothing when none.
std::size_t printGuests(std::ostream& out, const std::string& name, const KXLDocument& document,
                        const std::function<bool(const GuestEntry&)>& wanted,
                        std::string_view remark = {}, const GuestColumns& columns = {});

} // namespace KXL

#endif
