// The catalogue reader: one scan of the text that hands each entry on as it is read and names
// the first problem: malformed JSON by line and column, in nlohmann/json's words, as soon as it
// is met; the content's problems by path once the text is known to be JSON.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <utf8proc.h>

#include "common/constant_index.h"
#include "host/lib/KXLFunctionalityCore/catalog_failure.h"
#include "host/lib/KXLFunctionalityCore/catalog_reader.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {

constexpr std::size_t kMaxDepth = 16; // the format itself needs 3
constexpr std::size_t kUnknownKey = 5; // a key index: not one of the object's format
constexpr std::array<std::string_view, 2> kTopKeys = {"supported", "experimental"};
constexpr std::array<std::string_view, 5> kEntryKeys = {"code", "property1", "property2", "property3", "property4"};
constexpr std::array<std::string_view, 0> kNoKeys = {};
const char* const kAnyValue = "'[', '{', or a literal";

// The bytes a string holds as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> kVerbatim = [] {
    std::array<bool, 256> bytes{};
    for (int c = 0x20; c < 0x7F; ++c)
        bytes[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return bytes;
}();

// Ends the reading at once: malformed JSON, a repeated key, deep nesting.
struct Stop { std::string text; };

// A key in JSON quotes, with JSON's escapes for what may not stand raw.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        char escape[8] = {c};
        if (c == '"' || c == '\\' || (c >= '\b' && c <= '\r' && c != '\v'))
            std::snprintf(escape, sizeof escape, "\\%c", c == '"' || c == '\\' ? c : "btn?fr"[c - '\b']);
        else if (static_cast<unsigned char>(c) < 0x20)
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
    }
    return out + '"';
}

// A key as a path shows it: a plain name as it is, anything else quoted.
std::string shownKey(std::string_view key)
{
    const char* const name = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    return !key.empty() && key.find_first_not_of(name) == key.npos ? std::string(key) : quoted(key);
}

class CatalogReader {
public:
    CatalogReader(std::string_view text, const CatalogSink& sink)
        : m_begin(text.data()), m_at(text.data()), m_end(text.data() + text.size()), m_frames(kMaxDepth),
          m_sink(sink)
    {
    }

    // Empty, or the content's first problem; throws Stop.
    std::string read()
    {
        if (m_at != m_end && *m_at == '\xEF') { // a UTF-8 byte order mark
            std::size_t i = 1;
            while (i < 3 && m_at + i != m_end && m_at[i] == "\xEF\xBB\xBF"[i])
                ++i;
            if (i < 3)
                malformed(m_at + i, "invalid BOM; must be 0xEF 0xBB 0xBF if given");
            m_at += 3;
        }
        if (!atEnd() && *m_at == '{') {
            catalogue();
        } else {
            const char* const start = m_at;
            value();
            problem({0, 0, 0, {}}, "the top level must be an object, got " + shown(start));
        }
        if (!atEnd())
            unexpected("value", "end of input");
        for (int list = 0; list < 2; ++list)
            repeatedCodes(list);
        return m_problem;
    }

private:
    struct Frame {
        bool object = false;
        long index = -1; // of an array's element being read
        std::string_view name; // the key of an object's member being read
        std::string key; // the storage of a name that is not one of the format's
        unsigned known = 0; // the format's keys read so far, one bit each
        std::set<std::string> others; // the other keys read so far
    };

    const char* const m_begin;
    const char* m_at;
    const char* const m_end;
    std::vector<Frame> m_frames; // the open containers, m_depth of them
    std::size_t m_depth = 0;
    const CatalogSink& m_sink;
    std::vector<std::pair<unsigned int, unsigned int>> m_codes[2]; // and index of each entry handed on
    std::string m_decoded[4]; // an entry's properties that held escapes or non-ASCII bytes
    std::string m_scratch; // a string with escapes, decoded
    const char* m_token = m_begin; // where the last string or number began
    const char* m_context = "value"; // what a malformed token was read for, and what was expected
    const char* m_expected = nullptr;
    std::tuple<int, long, std::size_t, std::string> m_rank; // of m_problem
    std::string m_problem;

    // The content's problems are ranked by where the checks meet them in turn: the top level,
    // its keys, "supported" and "experimental" with each entry's keys, code and properties.
    // Only the first is kept.
    void problem(std::tuple<int, long, std::size_t, std::string> rank, std::string text)
    {
        if (m_problem.empty() || rank < m_rank) {
            m_rank = std::move(rank);
            m_problem = std::move(text);
        }
    }

    // `last`: the last byte read, m_end for the end of the text, which counts as one more.
    // A malformed token shows what was read since the last string or number began.
    [[noreturn, gnu::cold]] void malformed(const char* last, std::string_view reason, bool showToken = true)
    {
        const char* const end = last < m_end ? last + 1 : m_end;
        const auto line = 1 + std::count(m_begin, end, '\n');
        const char* lineStart = end;
        while (lineStart != m_begin && lineStart[-1] != '\n')
            --lineStart;
        std::string text = "malformed JSON: parse error at line " + std::to_string(line) + ", column " +
                           std::to_string(last - lineStart + 1) + ": syntax error while parsing " + m_context +
                           " - " + std::string(reason);
        if (showToken) {
            text += "; last read: '";
            for (const char* p = m_token; p <= last && p < m_end; ++p) {
                char control[9] = {*p};
                if (static_cast<unsigned char>(*p) < 0x20)
                    std::snprintf(control, sizeof control, "<U+%.4X>", *p);
                text += control;
            }
            text += '\'';
        }
        throw Stop{text + (m_expected != nullptr ? std::string("; expected ") + m_expected : "")};
    }

    // At a token the grammar does not allow here; a token that is itself malformed says so.
    [[noreturn]] void unexpected(const char* context, const char* expected)
    {
        m_context = context;
        m_expected = expected;
        const char* const start = m_at;
        if (m_at == m_end)
            malformed(m_at, "unexpected end of input", false);
        std::string name = std::string("'") + *m_at++ + "'";
        if (*start == '"') {
            string();
            name = "string literal";
        } else if (*start == '-' || (*start >= '0' && *start <= '9')) {
            unsigned int ignored = 0;
            number(start, ignored, false);
            name = "number literal";
        } else if (name.find_first_of("{}[]:,") == std::string::npos) {
            --m_at;
            literal();
            name = std::string(start, m_at) + " literal";
        }
        malformed(m_at - 1, "unexpected " + name, false);
    }

    void literal()
    {
        for (const std::string_view word : {"true", "false", "null"}) {
            std::size_t i = 0;
            while (i < word.size() && m_at + i != m_end && m_at[i] == word[i])
                ++i;
            if (i > 0 && i < word.size())
                malformed(m_at + i, "invalid literal");
            if (i > 0) {
                m_at += i;
                return;
            }
        }
        malformed(m_at, "invalid literal");
    }

    bool atEnd()
    {
        const char* at = m_at; // in a register, not stored back at every byte
        while (at != m_end && (*at == ' ' || *at == '\n' || *at == '\r' || *at == '\t'))
            ++at;
        m_at = at;
        return at == m_end;
    }

    bool token(char c)
    {
        if (atEnd() || *m_at != c)
            return false;
        ++m_at;
        return true;
    }

    // After the opening quote: the string's text, a view of the input when it holds no escape
    // or non-ASCII byte (the common case), else of m_scratch.
    std::string_view string()
    {
        m_token = m_at - 1;
        const char* const text = m_at;
        const char* at = m_at;
        while (at != m_end && kVerbatim[static_cast<unsigned char>(*at)])
            ++at;
        m_at = at;
        if (m_at != m_end && *m_at == '"')
            return std::string_view(text, static_cast<std::size_t>(m_at++ - text));
        return decoded(text);
    }

    // From the first byte of the string at `text` that is not verbatim: the rest, decoded.
    // Apart from string(), whose calls, two an entry, would otherwise carry its frame.
    [[gnu::noinline]] std::string_view decoded(const char* text)
    {
        m_scratch.assign(text, m_at);
        for (;;) {
            if (m_at == m_end)
                malformed(m_at, "invalid string: missing closing quote");
            const auto c = static_cast<unsigned char>(*m_at);
            if (c == '"') {
                ++m_at;
                return m_scratch;
            }
            if (c < 0x20) {
                const char* const names = "NUL SOH STX ETX EOT ENQ ACK BEL BS  HT  LF  VT  FF  CR  SO  SI  DLE "
                                          "DC1 DC2 DC3 DC4 NAK SYN ETB CAN EM  SUB ESC FS  GS  RS  US  ";
                const bool shortForm = c >= '\b' && c <= '\r' && c != '\v';
                char reason[96];
                std::snprintf(reason, sizeof reason,
                              "invalid string: control character U+%04X (%.*s) must be escaped to \\u%04X%s%c", c,
                              names[4 * c + 2] == ' ' ? 2 : 3, names + 4 * c, c, shortForm ? " or \\" : "",
                              shortForm ? "btn?fr"[c - '\b'] : '\0');
                malformed(m_at, reason);
            }
            if (c == '\\') {
                escape();
            } else if (c < 0x80) {
                m_scratch += *m_at++;
            } else {
                // Well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
                const char* const sequence = m_at++;
                const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
                unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
                unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
                if (c < 0xC2 || c > 0xF4)
                    malformed(sequence, "invalid string: ill-formed UTF-8 byte");
                for (int i = 0; i < more; ++i, low = 0x80, high = 0xBF) {
                    if (m_at == m_end || static_cast<unsigned char>(*m_at) < low ||
                        static_cast<unsigned char>(*m_at) > high)
                        malformed(m_at, "invalid string: ill-formed UTF-8 byte");
                    ++m_at;
                }
                m_scratch.append(sequence, m_at);
            }
        }
    }

    // At a backslash: one escape, decoded onto m_scratch.
    void escape()
    {
        static constexpr std::string_view from = "\"\\/bfnrt";
        static constexpr std::string_view to = "\"\\/\b\f\n\r\t";
        if (++m_at == m_end || (*m_at != 'u' && from.find(*m_at) == std::string_view::npos))
            malformed(m_at, "invalid string: forbidden character after backslash");
        if (*m_at++ != 'u') {
            m_scratch += to[from.find(m_at[-1])];
            return;
        }
        const char* const pair = "invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF";
        std::uint32_t codepoint = hex4();
        if (codepoint >= 0xDC00 && codepoint <= 0xDFFF)
            malformed(m_at - 1, "invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF");
        if (codepoint >= 0xD800 && codepoint <= 0xDBFF) {
            for (const char c : {'\\', 'u'}) {
                if (m_at == m_end || *m_at != c)
                    malformed(m_at, pair);
                ++m_at;
            }
            const std::uint32_t low = hex4();
            if (low < 0xDC00 || low > 0xDFFF)
                malformed(m_at - 1, pair);
            codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (low - 0xDC00);
        }
        utf8proc_uint8_t bytes[4];
        const utf8proc_ssize_t length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(codepoint), bytes);
        m_scratch.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }

    std::uint32_t hex4()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i, ++m_at) {
            const char d = m_at == m_end ? '\0' : *m_at;
            const bool letter = (d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F');
            if (!letter && (d < '0' || d > '9'))
                malformed(m_at, "invalid string: '\\u' must be followed by 4 hex digits");
            value = value << 4 | static_cast<std::uint32_t>(letter ? (d | 0x20) - 'a' + 10 : d - '0');
        }
        return value;
    }

    // At `start`, a '-' or a digit: a JSON number. Returns whether it is an integer of at most
    // 32 bits with no sign, fraction or exponent, and then its value. Any other value must
    // not overflow a double, as nlohmann/json requires too.
    bool number(const char* start, unsigned int& value, bool isValue = true)
    {
        m_token = m_at = start;
        const auto digits = [&](const char* reason) {
            if (m_at == m_end || *m_at < '0' || *m_at > '9')
                malformed(m_at, reason);
            while (m_at != m_end && *m_at >= '0' && *m_at <= '9')
                ++m_at;
        };
        const bool negative = *m_at == '-';
        const char* const integer = m_at += negative ? 1 : 0;
        if (m_at != m_end && *m_at == '0')
            ++m_at;
        else
            digits("invalid number; expected digit after '-'");
        bool plain = !negative && m_at - integer <= 10;
        if (m_at != m_end && *m_at == '.') {
            ++m_at;
            digits("invalid number; expected digit after '.'");
            plain = false;
        }
        if (m_at != m_end && (*m_at == 'e' || *m_at == 'E')) {
            const bool sign = ++m_at != m_end && (*m_at == '+' || *m_at == '-');
            m_at += sign ? 1 : 0;
            digits(sign ? "invalid number; expected digit after exponent sign"
                        : "invalid number; expected '+', '-', or digit after exponent");
            plain = false;
        }
        std::uint64_t read = 0;
        for (const char* p = integer; plain && p != m_at; ++p)
            read = read * 10 + static_cast<std::uint64_t>(*p - '0');
        value = static_cast<unsigned int>(read);
        if (plain)
            return read <= 0xFFFFFFFFu;
        if (isValue)
            refuseOverflow(start);
        return false;
    }

    // A number from `start` to here that is held as a double must be finite.
    [[gnu::noinline]] void refuseOverflow(const char* start) const
    {
        const std::string token(start, m_at);
        if (std::isinf(std::strtod(token.c_str(), nullptr)))
            throw Stop{"malformed JSON: number overflow parsing '" + token + "'"};
    }

    // Any JSON value, checked as the format's own containers are.
    void value()
    {
        atEnd();
        const char c = m_at == m_end ? ']' : *m_at;
        if (c == '{') {
            object<kNoKeys>([&](std::size_t) { value(); });
        } else if (c == '[') {
            array([&] { value(); });
        } else if (c == '"') {
            ++m_at;
            string();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            unsigned int ignored = 0;
            number(m_at, ignored);
        } else if (c == ']' || c == '}' || c == ':' || c == ',') {
            unexpected("value", kAnyValue);
        } else {
            literal();
        }
    }

    // The value from `start` to here as written, white space aside, and short.
    std::string shown(const char* start) const
    {
        std::string text;
        bool inString = false;
        for (const char* p = start; p != m_at; ++p) {
            if (inString || (*p != ' ' && *p != '\n' && *p != '\r' && *p != '\t'))
                text += *p;
            if (inString && *p == '\\')
                text += *++p;
            else if (*p == '"')
                inString = !inString;
        }
        return text.size() > 40 ? text.substr(0, 37) + "..." : text;
    }

    // "supported[2].property1" for the frames below `depth`.
    std::string location(std::size_t depth) const
    {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) {
            const Frame& frame = m_frames[i];
            path += frame.object ? (path.empty() ? "" : ".") + shownKey(frame.name)
                                 : "[" + std::to_string(frame.index) + "]";
        }
        return path;
    }

    Frame& open(bool object)
    {
        if (m_depth >= kMaxDepth)
            tooDeep();
        ++m_at;
        return m_frames[m_depth++] = Frame{object, -1, {}, {}, 0, {}};
    }

    [[noreturn, gnu::cold]] void tooDeep() const
    {
        throw Stop{"nesting deeper than " + std::to_string(kMaxDepth) + " levels at " + location(m_depth)};
    }

    // At '{': an object, some of whose keys are `Known`. Calls member(the key's index in
    // `Known`, or `kUnknownKey`) at each value, the key in the frame.
    template <const auto& Known, typename Member>
    void object(Member member)
    {
        Frame& frame = open(true);
        if (!token('}')) {
            do {
                if (!token('"'))
                    unexpected("object key", "string literal");
                m_context = "object key";
                m_expected = "string literal";
                const std::string_view key = string();
                m_context = "value";
                m_expected = nullptr;
                const std::size_t index = KXL::indexAmong<Known>(key);
                const std::size_t field = index < Known.size() ? index : kUnknownKey;
                if (field == kUnknownKey ? !frame.others.emplace(key).second : (frame.known & 1u << field) != 0) {
                    const std::string path = location(m_depth - 1);
                    throw Stop{path + (path.empty() ? "" : ": ") + "key " + quoted(key) + " appears twice"};
                }
                frame.known |= field == kUnknownKey ? 0u : 1u << field;
                frame.name = field == kUnknownKey ? frame.key.assign(key) : Known[field];
                if (!token(':'))
                    unexpected("object separator", "':'");
                atEnd();
                member(field);
            } while (token(','));
            if (!token('}'))
                unexpected("object", "'}'");
        }
        --m_depth;
    }

    // At '[': an array; calls element() at each element, its index in the frame.
    template <typename Element>
    void array(Element element)
    {
        Frame& frame = open(false);
        if (!token(']')) {
            do {
                ++frame.index;
                atEnd();
                element();
            } while (token(','));
            if (!token(']'))
                unexpected("array", "']'");
        }
        --m_depth;
    }

    // ---- the catalogue ----

    void catalogue()
    {
        object<kTopKeys>([&](std::size_t list) {
            if (list != kUnknownKey && m_at != m_end && *m_at == '[')
                return array([&] { entry(static_cast<int>(list)); });
            const char* const start = m_at;
            value();
            topProblem(list, start);
        });
        // A list left out is an empty list; a misspelt one is still an unknown key.
    }

    // A top-level member that is no list, or a list, read from `start`, that is no array.
    // Apart from catalogue(), as are the entries' problems below: their texts would weigh on
    // the frame of every entry read.
    [[gnu::cold, gnu::noinline]] void topProblem(std::size_t list, const char* start)
    {
        if (list != kUnknownKey)
            return problem({2 + static_cast<int>(list), -1, 0, {}},
                           quoted(kTopKeys[list]) + " must be an array, got " + shown(start));
        const std::string key = m_frames[0].key;
        problem({1, 0, 0, key}, "unknown key " + quoted(key) + " at the top level (allowed: supported, experimental)");
    }

    void entry(int list)
    {
        const char* const start = m_at;
        if (m_at == m_end || *m_at != '{') {
            value();
            return entryProblem(list, 0, start);
        }
        CatalogEntry read{0, {}};
        bool codeRead = false;
        object<kEntryKeys>([&](std::size_t field) {
            const char* const valueStart = m_at;
            if (field == 0 && m_at != m_end && (*m_at == '-' || (*m_at >= '0' && *m_at <= '9'))) {
                codeRead = number(m_at, read.code);
                if (codeRead)
                    return;
            } else if (field > 0 && field < kUnknownKey && m_at != m_end && *m_at == '"') {
                ++m_at;
                const std::string_view text = string();
                const bool decoded = text.data() == m_scratch.data();
                read.properties[field - 1] = decoded ? m_decoded[field - 1].assign(text) : text;
                return;
            } else {
                value();
            }
            entryProblem(list, field == kUnknownKey ? 1 : field == 0 ? 3 : 5 + field, valueStart);
        });
        if ((m_frames[2].known & 1u) == 0)
            return entryProblem(list, 2);
        if (!codeRead)
            return;
        m_codes[list].emplace_back(read.code, static_cast<unsigned int>(m_frames[1].index));
        m_sink(list, read);
    }

    // Problems of an entry rank by `kind`: not an object (0), an unknown key (1, the first by
    // name), no code (2), a wrong code (3), a repeated code (4, repeatedCodes()), a wrong
    // property1..property4 (6..9). `start`: the value found, for all but 1 and 2.
    [[gnu::cold, gnu::noinline]] void entryProblem(int list, std::size_t kind, const char* start = nullptr)
    {
        std::string key;
        std::string text;
        if (kind == 0) {
            text = "an entry must be an object, got " + shown(start);
        } else if (kind == 1) {
            key = m_frames[2].key;
            text = "unknown key " + quoted(key) + " (allowed: code, property1, property2, property3, property4)";
        } else if (kind == 2) {
            text = "missing \"code\"";
        } else {
            const std::size_t field = kind == 3 ? 0 : kind - 5;
            text = quoted(kEntryKeys[field]) +
                (field == 0 ? " must be an integer in 0..4294967295, got " : " must be a string, got ") + shown(start);
        }
        const long index = m_frames[1].index;
        problem({2 + list, index, kind, std::move(key)},
                std::string(kTopKeys[list]) + "[" + std::to_string(index) + "]: " + text);
    }

    // Catalogues list codes in order, which one comparison an entry confirms; otherwise a
    // stable sort puts each repeat right after the entry it repeats (the earliest is named).
    void repeatedCodes(int list)
    {
        std::vector<std::pair<unsigned int, unsigned int>>& codes = m_codes[list];
        if (std::adjacent_find(codes.begin(), codes.end(), [](auto& a, auto& b) { return a.first >= b.first; }) ==
            codes.end())
            return;
        std::stable_sort(codes.begin(), codes.end(), [](auto& a, auto& b) { return a.first < b.first; });
        const std::string name(kTopKeys[list]);
        for (std::size_t i = 1; i < codes.size(); ++i) {
            if (codes[i - 1].first == codes[i].first)
                problem({2 + list, codes[i].second, 4, {}},
                        name + "[" + std::to_string(codes[i].second) + "]: code " + std::to_string(codes[i].first) +
                            " is already listed at " + name + "[" + std::to_string(codes[i - 1].second) + "]");
        }
    }
};

} // namespace

int readCatalog(std::string_view text, std::string_view origin, const CatalogSink& sink)
{
    try {
        const std::string problem = CatalogReader(text, sink).read();
        return problem.empty() ? 0 : catalogFailure(origin, problem);
    } catch (const Stop& stop) {
        return catalogFailure(origin, stop.text);
    }
}

int parseCatalog(std::string_view text, std::string_view origin, KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        KXPOSMap maps[2];
        // Codes come in order: each insert at the end is constant time. A repeated one fails
        // the reading, and the maps are dropped.
        const int status = readCatalog(text, origin, [&](int list, const CatalogEntry& entry) {
            KXL::KXLOS os;
            KXL::KXLOptionalProperty<std::string>* const properties[] = {&os.property1, &os.property2,
                                                                         &os.property3, &os.property4};
            for (int i = 0; i < 4; ++i) {
                if (entry.properties[i].data() != nullptr)
                    *properties[i] = std::string(entry.properties[i]);
            }
            maps[list].emplace_hint(maps[list].end(), entry.code, std::move(os));
        });
        if (status != 0)
            return status;
        // Moving std::maps cannot throw: both outputs change together or not at all.
        supported = std::move(maps[0]);
        experimental = std::move(maps[1]);
        return 0;
    } catch (const std::bad_alloc&) {
        return catalogFailure(origin, "out of memory");
    }
}

} // namespace KXP
