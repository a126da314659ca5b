// The JSON form of vocabularies, written as a stream: a document of a million guest OSes
// is never held as a JSON tree. The shape is documented in host-agent(1):
//
//   {"name": ... | null, "kind": 0, "vocabulary": true,
//    "version": {"stamp": ..., "description": ...} | null,
//    "categories": [NAME, ...], "adapters": [{"id": N, "name": ...}, ...],
//    "other_entries": N, "other": [NODE, ...],
//    "guest_os": [{"code": N, "identifier": ..., "display_name": ..., "experimental": B,
//                  "min_hdd_size": N, ..., "boot_efi": N}, ...]}
//
// Texts are bytes: a byte that is not part of valid UTF-8 becomes U+FFFD, so the output is
// always valid JSON (the text output shows such bytes exactly, as \xNN). A NODE is
// {"tag": N, "value": TEXT | N | null, "stamps": {...} (only when it has some),
// "children": [NODE, ...]} or, for a named value, {"name": ..., "value": N}.
#ifndef AGENT_VOCABULARY_JSON_H
#define AGENT_VOCABULARY_JSON_H

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "host/KXLMessageTree.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

// Opens the document every --json command prints: `{"format":1,`, its members to follow.
void openJsonDocument(std::ostream& out);

// A JSON string holding the text.
std::string jsonText(std::string_view text);

// The members of a vocabulary's object, "name" to "guest_os", without the braces, so that
// callers can add their own members around them. No name is written as null.
void writeVocabularyMembers(std::ostream& out, const std::optional<std::string>& name,
                            const KXLDocument& document);

// One guest OS as a JSON object.
void writeGuestJson(std::ostream& out, const GuestEntry& guest);

} // namespace KXL

#endif
