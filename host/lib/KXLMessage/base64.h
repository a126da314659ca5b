// Base64 (RFC 4648, standard alphabet, padded) for the byte strings a .voc file cannot hold
// as plain text.
#ifndef KXLMESSAGE_BASE64_H
#define KXLMESSAGE_BASE64_H

#include <string>
#include <string_view>

namespace KXL::voc {

std::string encodeBase64(std::string_view bytes);

// Strict: no whitespace, padding required, unused trailing bits zero, so every byte string
// has exactly one accepted form. False on anything else; `bytes` is then unspecified.
bool decodeBase64(std::string_view text, std::string& bytes);

} // namespace KXL::voc

#endif
