// The catalogue's hand-written scan (parseCatalogDirect) against the JSON library's event
// parser doing the same job: the same maps from the same text. Prints the median of RUNS
// parses of each, in milliseconds, and their ratio.
//   catalog_parse_bench CATALOGUE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "agent/lib/KXLFunctionalityCore/catalogDirectParse.h"

namespace {

using KXP::KXPOSMap;
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

bool parseWithLibrary(const std::string& text, KXPOSMap& supported, KXPOSMap& experimental)
{
    DirectHandler handler(supported, experimental);
    return json::sax_parse(text, &handler, json::input_format_t::json, true, false) && handler.done();
}

double medianMilliseconds(int runs, const std::string& text,
                          const std::function<bool(const std::string&, KXPOSMap&, KXPOSMap&)>& parse)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        KXPOSMap supported;
        KXPOSMap experimental;
        const auto start = std::chrono::steady_clock::now();
        const bool parsed = parse(text, supported, experimental);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!parsed) {
            std::fprintf(stderr, "catalog_parse_bench: the catalogue does not parse\n");
            std::exit(1);
        }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: catalog_parse_bench CATALOGUE [RUNS]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    if (!file) {
        std::fprintf(stderr, "catalog_parse_bench: cannot read %s\n", argv[1]);
        return 2;
    }
    const std::string text = content.str();
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    const double scan = medianMilliseconds(runs, text, KXP::parseCatalogDirect);
    const double library = medianMilliseconds(runs, text, parseWithLibrary);
    std::printf("%.1f %.1f %.2f\n", scan, library, scan / library);
    return 0;
}
