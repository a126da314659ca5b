// A scan of exactly the catalogue's shape, about three times as fast as the JSON library's
// event parser on the same job (bench/catalog_parse_bench.cpp prints both). It accepts a
// subset of what parseCatalog accepts and gives the same maps; the fuzz target
// catalog_fuzz checks both against a reading over the JSON library.
#include "agent/lib/KXLFunctionalityCore/catalogDirectParse.h"

#include <cstdint>
#include <string_view>

#include <utf8proc.h>

namespace KXP {

namespace {

// {"supported": [ENTRY...], "experimental": [ENTRY...]} in either order, ENTRY being
// {"code": N, "property1".."property4": "text"} with any keys but code left out. Anything
// else, or anything unusual in JSON terms (a byte order mark, an escaped key), stops it.
class CatalogScan {
public:
    explicit CatalogScan(std::string_view text) : m_at(text.data()), m_end(text.data() + text.size()) {}

    bool catalogue(KXPOSMap& supported, KXPOSMap& experimental)
    {
        if (!token('{'))
            return false;
        unsigned lists = 0; // 1: supported read, 2: experimental read
        for (int i = 0; i < 2; ++i) {
            std::string_view key;
            if ((i == 1 && !token(',')) || !token('"') || !string(key) || !token(':'))
                return false;
            const unsigned bit = key == "supported" ? 1u : key == "experimental" ? 2u : 0u;
            if (bit == 0 || (lists & bit) != 0 || !list(bit == 1u ? supported : experimental))
                return false;
            lists |= bit;
        }
        if (!token('}'))
            return false;
        skipSpace();
        return m_at == m_end;
    }

private:
    const char* m_at;
    const char* const m_end;
    std::string m_scratch; // a string with escapes or non-ASCII characters, decoded

    void skipSpace()
    {
        while (m_at != m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    bool token(char c)
    {
        skipSpace();
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }

    bool list(KXPOSMap& map)
    {
        if (!token('['))
            return false;
        if (token(']'))
            return true;
        do {
            if (!entry(map))
                return false;
        } while (token(','));
        return token(']');
    }

    bool entry(KXPOSMap& map)
    {
        static constexpr std::string_view keys[] = {"code", "property1", "property2", "property3", "property4"};
        if (!token('{'))
            return false;
        KXL::KXLOS os;
        KXL::KXLOptionalProperty<std::string>* const properties[] = {&os.property1, &os.property2,
                                                                     &os.property3, &os.property4};
        unsigned seen = 0; // one bit a key
        unsigned int code = 0;
        if (!token('}')) {
            do {
                std::string_view key;
                if (!token('"') || !string(key) || !token(':'))
                    return false;
                unsigned field = 0;
                while (field < 5 && key != keys[field])
                    ++field;
                if (field == 5 || (seen & (1u << field)) != 0)
                    return false;
                seen |= 1u << field;
                std::string_view value;
                if (field == 0 ? !number(code) : (!token('"') || !string(value)))
                    return false;
                if (field != 0)
                    *properties[field - 1] = std::string(value);
            } while (token(','));
            if (!token('}'))
                return false;
        }
        if ((seen & 1u) == 0)
            return false;
        // Catalogues list codes in order: the hint makes each insert constant time.
        const std::size_t before = map.size();
        map.emplace_hint(map.end(), code, std::move(os));
        return map.size() != before; // a code listed twice
    }

    // An unsigned integer of 32 bits, as JSON writes it: no sign, fraction or exponent.
    bool number(unsigned int& value)
    {
        skipSpace();
        const char* const start = m_at;
        std::uint64_t number = 0;
        while (m_at != m_end && *m_at >= '0' && *m_at <= '9' && m_at - start < 11)
            number = number * 10 + static_cast<std::uint64_t>(*m_at++ - '0');
        const std::size_t digits = static_cast<std::size_t>(m_at - start);
        if (digits == 0 || (start[0] == '0' && digits > 1) || number > 0xFFFFFFFFu)
            return false;
        if (m_at != m_end && (*m_at == '.' || *m_at == 'e' || *m_at == 'E' || (*m_at >= '0' && *m_at <= '9')))
            return false;
        value = static_cast<unsigned int>(number);
        return true;
    }

    // After the opening quote: the string's text, a view of the input when it needs no
    // decoding (the common case), else of m_scratch.
    bool string(std::string_view& text)
    {
        const char* const start = m_at;
        while (m_at != m_end) {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c == '"') {
                text = std::string_view(start, static_cast<std::size_t>(m_at - start));
                ++m_at;
                return true;
            }
            if (c == '\\' || c < 0x20 || c >= 0x80)
                break;
            ++m_at;
        }
        m_scratch.assign(start, m_at);
        while (m_at != m_end) {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c == '"') {
                text = m_scratch;
                ++m_at;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (!escape())
                    return false;
            } else if (c >= 0x80) {
                // Strict UTF-8, as JSON has it: no overlong forms, surrogates or bytes past U+10FFFF.
                utf8proc_int32_t codepoint = 0;
                const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(m_at),
                                                                 m_end - m_at, &codepoint);
                if (length <= 0)
                    return false;
                m_scratch.append(m_at, static_cast<std::size_t>(length));
                m_at += length;
            } else {
                m_scratch += static_cast<char>(c);
                ++m_at;
            }
        }
        return false;
    }

    // At a backslash: one escape, decoded onto m_scratch.
    bool escape()
    {
        if (m_end - m_at < 2)
            return false;
        const char e = m_at[1];
        m_at += 2;
        switch (e) {
        case '"': m_scratch += '"'; return true;
        case '\\': m_scratch += '\\'; return true;
        case '/': m_scratch += '/'; return true;
        case 'b': m_scratch += '\b'; return true;
        case 'f': m_scratch += '\f'; return true;
        case 'n': m_scratch += '\n'; return true;
        case 'r': m_scratch += '\r'; return true;
        case 't': m_scratch += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        std::uint32_t codepoint = 0;
        if (!hex4(codepoint) || (codepoint >= 0xDC00 && codepoint <= 0xDFFF))
            return false;
        if (codepoint >= 0xD800 && codepoint <= 0xDBFF) {
            // Only as the first half of a pair.
            std::uint32_t low = 0;
            if (m_end - m_at < 2 || m_at[0] != '\\' || m_at[1] != 'u')
                return false;
            m_at += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (low - 0xDC00);
        }
        utf8proc_uint8_t bytes[4];
        const utf8proc_ssize_t length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(codepoint), bytes);
        m_scratch.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        return true;
    }

    bool hex4(std::uint32_t& value)
    {
        if (m_end - m_at < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const char d = *m_at++;
            std::uint32_t digit = 0;
            if (d >= '0' && d <= '9')
                digit = static_cast<std::uint32_t>(d - '0');
            else if (d >= 'a' && d <= 'f')
                digit = static_cast<std::uint32_t>(d - 'a' + 10);
            else if (d >= 'A' && d <= 'F')
                digit = static_cast<std::uint32_t>(d - 'A' + 10);
            else
                return false;
            value = value << 4 | digit;
        }
        return true;
    }
};

} // namespace

bool parseCatalogDirect(const std::string& text, KXPOSMap& supported, KXPOSMap& experimental)
{
    return CatalogScan(text).catalogue(supported, experimental);
}

} // namespace KXP
