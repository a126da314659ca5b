#include "agent/lib/KXLFunctionalityCore/catalogDirectParse.h"

#include <cstdint>

#include <nlohmann/json.hpp>

namespace KXP {

namespace {

using nlohmann::json;

// The events of exactly {"supported": [ENTRY...], "experimental": [ENTRY...]} in either
// order, ENTRY being {"code": N, "property1".."property4": "text"} with any keys but code
// left out. Anything else stops the parse.
class DirectHandler {
public:
    DirectHandler(KXPOSMap& supported, KXPOSMap& experimental)
        : m_supported(supported), m_experimental(experimental)
    {
    }

    bool done() const { return m_state == State::Done; }

    bool null() { return false; }
    bool boolean(bool) { return false; }
    bool number_integer(json::number_integer_t) { return false; }
    bool number_float(json::number_float_t, const std::string&) { return false; }
    bool binary(json::binary_t&) { return false; }

    bool number_unsigned(json::number_unsigned_t value)
    {
        if (m_state != State::Entry || m_field != 0 || value > 0xFFFFFFFFu)
            return false;
        m_code = static_cast<unsigned int>(value);
        return true;
    }

    bool string(std::string& value)
    {
        if (m_state != State::Entry || m_field < 1 || m_field > 4)
            return false;
        KXL::KXLOptionalProperty<std::string>* const properties[] = {&m_os.property1, &m_os.property2,
                                                                     &m_os.property3, &m_os.property4};
        *properties[m_field - 1] = std::move(value);
        return true;
    }

    bool start_object(std::size_t)
    {
        if (m_state == State::Start) {
            m_state = State::Top;
            return true;
        }
        if (m_state != State::List)
            return false;
        m_state = State::Entry;
        m_seen = 0;
        m_os = KXL::KXLOS();
        return true;
    }

    bool key(std::string& key)
    {
        static const char* const entryKeys[] = {"code", "property1", "property2", "property3", "property4"};
        if (m_state == State::Top) {
            const unsigned bit = key == "supported" ? 1u : key == "experimental" ? 2u : 0u;
            if (bit == 0 || (m_lists & bit) != 0)
                return false;
            m_lists |= bit;
            m_map = bit == 1u ? &m_supported : &m_experimental;
            m_state = State::ListKey;
            return true;
        }
        if (m_state != State::Entry)
            return false;
        for (int field = 0; field < 5; ++field) {
            if (key == entryKeys[field]) {
                if ((m_seen & (1u << field)) != 0)
                    return false;
                m_seen |= 1u << field;
                m_field = field;
                return true;
            }
        }
        return false;
    }

    bool end_object()
    {
        if (m_state == State::Top) {
            m_state = m_lists == 3u ? State::Done : State::Failed;
            return m_state == State::Done;
        }
        if (m_state != State::Entry || (m_seen & 1u) == 0)
            return false;
        // Catalogues list codes in order: the hint makes each insert constant time.
        const auto before = m_map->size();
        m_map->emplace_hint(m_map->end(), m_code, std::move(m_os));
        m_state = State::List;
        return m_map->size() != before; // a code listed twice
    }

    bool start_array(std::size_t)
    {
        if (m_state != State::ListKey)
            return false;
        m_state = State::List;
        return true;
    }

    bool end_array()
    {
        if (m_state != State::List)
            return false;
        m_state = State::Top;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    enum class State { Start, Top, ListKey, List, Entry, Done, Failed };

    KXPOSMap& m_supported;
    KXPOSMap& m_experimental;
    KXPOSMap* m_map = nullptr;
    State m_state = State::Start;
    unsigned m_lists = 0; // 1: supported seen, 2: experimental seen
    unsigned m_seen = 0; // the keys of the current entry, one bit each
    int m_field = -1; // the key whose value comes next: 0 code, 1..4 the properties
    unsigned int m_code = 0;
    KXL::KXLOS m_os;
};

} // namespace

bool parseCatalogDirect(const std::string& text, KXPOSMap& supported, KXPOSMap& experimental)
{
    DirectHandler handler(supported, experimental);
    return json::sax_parse(text, &handler, json::input_format_t::json, true, false) && handler.done();
}

} // namespace KXP
