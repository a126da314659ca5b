// Turning arbitrary bytes into text that is safe to put on a terminal, and measuring it.
#ifndef COMMON_TEXT_ESCAPE_H
#define COMMON_TEXT_ESCAPE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace KXL {

// The bytes as printable UTF-8. A backslash doubles; control characters (C0, DEL, C1),
// bidirectional overrides and line separators become \t, \n, \r, \xNN or \u{NNNN}; every
// byte that is not part of valid UTF-8 becomes \xNN. A zero-width joiner stays only inside
// a grapheme cluster, between two characters it joins (an emoji ZWJ sequence). The result
// never holds a byte that could steer a terminal, and distinct inputs give distinct results.
std::string escapeText(std::string_view bytes);

// A message for people, parts of which may already be escaped (quoteText, or a library's
// error text that escapes the names it quotes): what would steer a terminal is escaped as
// escapeText escapes it, but a backslash stays single, so an escaped part shows as it was
// made. Safe for any bytes; unlike escapeText not one-to-one, so for messages, not values.
std::string escapeMessage(std::string_view bytes);

// Whether escapeText(bytes) is bytes itself, one column a byte: printable ASCII without a
// backslash, as most texts are.
bool escapesToItself(std::string_view bytes);

// escapeText inside double quotes, with the quote itself escaped as \".
std::string quoteText(std::string_view bytes);

// The bytes as a label value of the Prometheus text format, without the quotes: escapeText's
// result (so distinct inputs give distinct values, and the value holds no control or
// bidirectional character), with a backslash, a double quote and a line feed then escaped
// as the format requires. Any input gives a value every parser of the format accepts.
std::string metricLabelText(std::string_view bytes);

// Terminal columns taken by valid UTF-8 text (as escapeText returns), from utf8proc's
// Unicode tables: each grapheme cluster counts its characters' widths (wide East Asian
// characters and emoji two, combining marks none), at most two, and two when it holds an
// emoji presentation selector: an emoji with a skin tone or joined emoji, a decomposed Hangul
// syllable and a flag count two.
std::size_t displayWidth(std::string_view utf8);

} // namespace KXL

#endif
