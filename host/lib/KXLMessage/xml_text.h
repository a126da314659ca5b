// The character rules of XML 1.0 as the .voc format applies them: which byte strings are
// stored as plain text, and how raw markup text becomes bytes again.
#ifndef KXLMESSAGE_XMLTEXT_H
#define KXLMESSAGE_XMLTEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace KXL::voc {

// The length of the UTF-8 sequence `bytes` starts with when it encodes an XML 1.0
// character, else 0 (also for no bytes).
std::size_t xmlCharacterLength(std::string_view bytes);

// Valid UTF-8, XML 1.0 characters only and no carriage return (which XML parsers fold into
// a line feed): such bytes survive being written as text unchanged.
bool isPlainText(std::string_view bytes);

enum class MarkupContext { Content, AttributeValue };

// Resolves the character and predefined entity references of raw (already UTF-8 checked)
// markup text. False with `error` set on an unknown entity, a reference to a character XML
// does not allow or "]]>" in content. (The scanner refuses a '<' in an attribute value.)
bool decodeMarkupText(std::string_view raw, MarkupContext context, std::string& text,
                      std::string& error);

} // namespace KXL::voc

#endif
