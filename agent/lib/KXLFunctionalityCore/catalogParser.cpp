#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "agent/lib/KXLFunctionalityCore/catalogDirectParse.h"
#include "agent/lib/KXLFunctionalityCore/catalogFailure.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {

using nlohmann::json;

constexpr std::size_t maxDepth = 16; // the format itself needs 3
constexpr std::uint64_t maxCode = 0xFFFFFFFFu;
const char* const propertyNames[] = {"property1", "property2", "property3", "property4"};

// A problem found in the text; becomes the error text.
struct CatalogProblem {
    std::string text;
};

std::string jsonQuoted(const std::string& key)
{
    return json(key).dump();
}

// A short rendering of an offending value for the error text.
std::string shown(const json& value)
{
    // The parser gives a signed integer only for a negative number: a signed 0 was "-0".
    if (value.is_number_integer() && !value.is_number_unsigned() && value.get<std::int64_t>() == 0)
        return "-0";
    std::string text = value.dump();
    if (text.size() > 40)
        text = text.substr(0, 37) + "...";
    return text;
}

// A key as a location shows it: a plain name as it is, anything else (a NUL, a control
// character, a dot) in JSON quotes, so the error text stays whole and unambiguous.
std::string shownKey(const std::string& key)
{
    const bool plain = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
    return plain ? key : jsonQuoted(key);
}

// Builds the DOM from the parser's events, as nlohmann's own builder does, and refuses a
// repeated key (the JSON library would keep only the last value, silently dropping data) or
// deep nesting. Linear: a key is looked up only in its own object.
class CheckedDomBuilder {
public:
    explicit CheckedDomBuilder(json& root) : m_root(root) {}

    bool null() { return put(nullptr) != nullptr; }
    bool boolean(bool value) { return put(value) != nullptr; }
    bool number_integer(json::number_integer_t value) { return put(value) != nullptr; }
    bool number_unsigned(json::number_unsigned_t value) { return put(value) != nullptr; }
    bool number_float(json::number_float_t value, const std::string&) { return put(value) != nullptr; }
    bool string(std::string& value) { return put(std::move(value)) != nullptr; }
    bool binary(json::binary_t& value) { return put(std::move(value)) != nullptr; }

    bool start_object(std::size_t) { return open(json::object(), true); }
    bool start_array(std::size_t) { return open(json::array(), false); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& key)
    {
        Frame& object = m_frames.back();
        if (object.container->contains(key))
            throw CatalogProblem{location(m_frames.size() - 1) + "key " + jsonQuoted(key) + " appears twice"};
        object.key = std::move(key);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error)
    {
        // what() carries a "[json.exception.KIND.N] " prefix that helps nobody.
        std::string reason = error.what();
        const std::size_t end = reason.find("] ");
        if (reason.rfind("[json.exception.", 0) == 0 && end != std::string::npos)
            reason.erase(0, end + 2);
        throw CatalogProblem{"malformed JSON: " + reason};
    }

private:
    struct Frame {
        json* container;
        bool isObject;
        std::string key; // the key of the value being read
        long index; // the element of an array being read
    };

    json& m_root;
    std::vector<Frame> m_frames;

    // Stores a value where the parser stands; its address stays valid while it is open,
    // as only the innermost open container grows.
    json* put(json&& value)
    {
        if (m_frames.empty()) {
            m_root = std::move(value);
            return &m_root;
        }
        Frame& parent = m_frames.back();
        if (parent.isObject)
            return &((*parent.container)[parent.key] = std::move(value));
        ++parent.index;
        parent.container->push_back(std::move(value));
        return &parent.container->back();
    }

    bool open(json&& empty, bool isObject)
    {
        if (m_frames.size() >= maxDepth) {
            if (!m_frames.empty() && !m_frames.back().isObject)
                ++m_frames.back().index;
            throw CatalogProblem{"nesting deeper than " + std::to_string(maxDepth) + " levels at " +
                                 location()};
        }
        json* container = put(std::move(empty));
        m_frames.push_back(Frame{container, isObject, {}, -1});
        return true;
    }

    bool close()
    {
        m_frames.pop_back();
        return true;
    }

    // "supported[2]: " for the frames below `depth`; empty at the top level.
    std::string location(std::size_t depth) const
    {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) {
            const Frame& frame = m_frames[i];
            if (frame.isObject)
                path += (path.empty() ? "" : ".") + shownKey(frame.key);
            else
                path += "[" + std::to_string(frame.index) + "]";
        }
        return path.empty() ? path : path + ": ";
    }

    std::string location() const
    {
        const std::string path = location(m_frames.size());
        return path.empty() ? "the top level" : path.substr(0, path.size() - 2);
    }
};

json parseText(const std::string& text)
{
    json root;
    CheckedDomBuilder builder(root);
    json::sax_parse(text, &builder, json::input_format_t::json, true, false);
    return root;
}

unsigned int readCode(const json& entry, const std::string& where)
{
    const auto code = entry.find("code");
    if (code == entry.end())
        throw CatalogProblem{where + "missing \"code\""};
    const bool inRange = code->is_number_unsigned() && code->get<std::uint64_t>() <= maxCode;
    if (!inRange)
        throw CatalogProblem{where + "\"code\" must be an integer in 0..4294967295, got " +
                             shown(*code)};
    return static_cast<unsigned int>(code->get<std::uint64_t>());
}

KXL::KXLOS readOS(const json& entry, const std::string& where)
{
    KXL::KXLOS os;
    KXL::KXLOptionalProperty<std::string>* const properties[] = {&os.property1, &os.property2,
                                                                 &os.property3, &os.property4};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto value = entry.find(propertyNames[i]);
        if (value == entry.end())
            continue;
        if (!value->is_string())
            throw CatalogProblem{where + jsonQuoted(propertyNames[i]) + " must be a string, got " +
                                 shown(*value)};
        *properties[i] = value->get<std::string>();
    }
    return os;
}

void checkEntryKeys(const json& entry, const std::string& where)
{
    for (const auto& item : entry.items()) {
        bool known = item.key() == "code";
        for (const char* name : propertyNames)
            known = known || item.key() == name;
        if (!known)
            throw CatalogProblem{where + "unknown key " + jsonQuoted(item.key()) +
                                 " (allowed: code, property1, property2, property3, property4)"};
    }
}

KXPOSMap readMap(const json& root, const char* name)
{
    const auto list = root.find(name);
    if (list == root.end())
        throw CatalogProblem{std::string("missing \"") + name + "\" array"};
    if (!list->is_array())
        throw CatalogProblem{std::string("\"") + name + "\" must be an array, got " + shown(*list)};

    KXPOSMap map;
    std::map<unsigned int, std::size_t> firstSeen;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const json& entry = (*list)[i];
        const std::string where = std::string(name) + "[" + std::to_string(i) + "]: ";
        if (!entry.is_object())
            throw CatalogProblem{where + "an entry must be an object, got " + shown(entry)};
        checkEntryKeys(entry, where);
        const unsigned int code = readCode(entry, where);
        const auto seen = firstSeen.emplace(code, i);
        if (!seen.second)
            throw CatalogProblem{where + "code " + std::to_string(code) + " is already listed at " +
                                 name + "[" + std::to_string(seen.first->second) + "]"};
        map.emplace(code, readOS(entry, where));
    }
    return map;
}

} // namespace

int parseCatalog(const std::string& text, const std::string& origin, KXPOSMap& supported,
                 KXPOSMap& experimental)
{
    try {
        KXPOSMap directSupported;
        KXPOSMap directExperimental;
        if (parseCatalogDirect(text, directSupported, directExperimental)) {
            supported = std::move(directSupported);
            experimental = std::move(directExperimental);
            return 0;
        }
        // Something is wrong, or unusual: the tree below finds and names it.
        const json root = parseText(text);
        if (!root.is_object())
            return catalogFailure(origin, "the top level must be an object, got " + shown(root));
        for (const auto& item : root.items()) {
            if (item.key() != "supported" && item.key() != "experimental")
                return catalogFailure(origin, "unknown key " + jsonQuoted(item.key()) +
                                                  " at the top level (allowed: supported, experimental)");
        }
        KXPOSMap parsedSupported = readMap(root, "supported");
        KXPOSMap parsedExperimental = readMap(root, "experimental");
        // Moving std::maps cannot throw: both outputs change together or not at all.
        supported = std::move(parsedSupported);
        experimental = std::move(parsedExperimental);
        return 0;
    } catch (const CatalogProblem& problem) {
        return catalogFailure(origin, problem.text);
    } catch (const std::bad_alloc&) {
        return catalogFailure(origin, "out of memory");
    } catch (const std::exception& error) {
        return catalogFailure(origin, error.what());
    }
}

} // namespace KXP
