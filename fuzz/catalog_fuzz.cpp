// Fuzzes the guest OS catalogue reader differentially: each input is read by parseCatalog
// and by a small reading of the format written here over the JSON library's plain DOM
// parser, which spots a repeated key by counting keys. Then:
//   - parseCatalog succeeds exactly when the reference reading does, with the same maps;
//   - nothing after an accepted document but white space is accepted: the document
//     followed by a NUL and more, or by itself, is refused;
//   - a failed parseCatalog leaves the caller's maps alone and names the source and the
//     problem, without the JSON library's exception prefix or raw control characters.
// A broken property aborts, which libFuzzer reports as a crash with the input saved.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/KXLError.h"
#include "host/KXPCatalog.h"

namespace {

using KXP::KXPOSMap;
using nlohmann::json;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "\ncatalog_fuzz: property violated: %s\n", what.c_str());
    std::abort();
}

struct Maps {
    KXPOSMap supported;
    KXPOSMap experimental;
};

bool sameProperty(const KXL::KXLOptionalProperty<std::string>& a, const KXL::KXLOptionalProperty<std::string>& b)
{
    return a.isSet() == b.isSet() && static_cast<const std::string&>(a) == static_cast<const std::string&>(b);
}

bool sameMap(const KXPOSMap& a, const KXPOSMap& b)
{
    if (a.size() != b.size())
        return false;
    for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y) {
        if (x->first != y->first || !sameProperty(x->second.property1, y->second.property1) ||
            !sameProperty(x->second.property2, y->second.property2) ||
            !sameProperty(x->second.property3, y->second.property3) ||
            !sameProperty(x->second.property4, y->second.property4))
            return false;
    }
    return true;
}

bool sameMaps(const Maps& a, const Maps& b)
{
    return sameMap(a.supported, b.supported) && sameMap(a.experimental, b.experimental);
}

Maps sentinel()
{
    Maps maps;
    KXL::KXLOS os;
    os.property1 = std::string("sentinel");
    maps.supported.emplace(7u, os);
    maps.experimental.emplace(8u, KXL::KXLOS());
    return maps;
}

// One list of the format: entries {"code": 0..2^32-1, "property1".."property4": string},
// codes unique within the list.
std::optional<KXPOSMap> referenceList(const json& list)
{
    if (!list.is_array())
        return std::nullopt;
    KXPOSMap map;
    for (const json& entry : list) {
        if (!entry.is_object())
            return std::nullopt;
        const auto code = entry.find("code");
        if (code == entry.end() || !code->is_number_unsigned() || code->get<std::uint64_t>() > 0xFFFFFFFFu)
            return std::nullopt;
        KXL::KXLOS os;
        std::size_t known = 1;
        for (auto [name, property] : {std::pair{"property1", &os.property1}, std::pair{"property2", &os.property2},
                                      std::pair{"property3", &os.property3}, std::pair{"property4", &os.property4}}) {
            const auto value = entry.find(name);
            if (value == entry.end())
                continue;
            if (!value->is_string())
                return std::nullopt;
            *property = value->get<std::string>();
            ++known;
        }
        if (entry.size() != known) // a key the format does not have
            return std::nullopt;
        if (!map.emplace(static_cast<unsigned int>(code->get<std::uint64_t>()), os).second)
            return std::nullopt; // a code listed twice
    }
    return map;
}

// The catalogue format read independently of the parser under test.
std::optional<Maps> referenceRead(const std::string& text)
{
    bool repeatedKey = false;
    std::vector<std::size_t> keyCounts; // of each open object
    const json::parser_callback_t countKeys = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) {
            keyCounts.push_back(0);
        } else if (event == json::parse_event_t::key) {
            ++keyCounts.back();
        } else if (event == json::parse_event_t::object_end) {
            // The DOM keeps one value per key: fewer members than keys read means a repeat.
            repeatedKey = repeatedKey || parsed.size() != keyCounts.back();
            keyCounts.pop_back();
        }
        return true;
    };
    // The JSON library reads a NUL as the end of the text; JSON allows none anywhere.
    if (text.find('\0') != std::string::npos)
        return std::nullopt;
    const json root = json::parse(text, countKeys, false);
    if (root.is_discarded() || repeatedKey || !root.is_object() ||
        root.size() != root.contains("supported") + root.contains("experimental"))
        return std::nullopt;
    // A list left out is an empty list.
    std::optional<KXPOSMap> supported = referenceList(root.value("supported", json::array()));
    std::optional<KXPOSMap> experimental = referenceList(root.value("experimental", json::array()));
    if (!supported || !experimental)
        return std::nullopt;
    return Maps{std::move(*supported), std::move(*experimental)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<Maps> reference = referenceRead(text);

    Maps parsed = sentinel();
    const int status = KXP::parseCatalog(text, "fuzz input", parsed.supported, parsed.experimental);
    if (status == 0) {
        if (!reference)
            violated("parseCatalog accepted what the format does not allow");
        if (!sameMaps(parsed, *reference))
            violated("parseCatalog read other maps than the reference");
        for (const std::string& after : {std::string(1, '\0') + "garbage", text}) {
            Maps more;
            if (KXP::parseCatalog(text + after, "fuzz input", more.supported, more.experimental) == 0)
                violated("parseCatalog accepted more than the document");
        }
        return 0;
    }
    const std::string error = KXL::getErrorMessage();
    if (reference)
        violated("parseCatalog refused a valid catalogue: " + error);
    if (!sameMaps(parsed, sentinel()))
        violated("a failed parseCatalog changed the maps: " + error);
    const std::string prefix = "guest OS catalogue 'fuzz input': ";
    if (error.rfind(prefix, 0) != 0 || error.size() == prefix.size())
        violated("the error text does not name the source and the problem: " + error);
    // Keys and values from the file are quoted with JSON escapes: raw control characters
    // would reach logs and terminals (and a NUL cuts the text short, as seen above).
    for (const char c : error) {
        if (static_cast<unsigned char>(c) < 0x20)
            violated("the error text holds a raw control character: " + error);
    }
    // The text may quote the input, which may hold anything.
    const std::string jsonPrefix = "[json.exception";
    if (error.find(jsonPrefix) != std::string::npos && text.find(jsonPrefix) == std::string::npos)
        violated("the error text keeps the JSON library's prefix: " + error);
    return 0;
}
