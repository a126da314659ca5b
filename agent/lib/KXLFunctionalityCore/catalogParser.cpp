#include <cstdint>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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
    std::string text = value.dump();
    if (text.size() > 40)
        text = text.substr(0, 37) + "...";
    return text;
}

// JSON objects with a repeated key keep only the last value; in a catalogue that silently
// drops data, so the parse watches for it and names where it happened.
class DuplicateKeyWatch {
public:
    bool operator()(int /*depth*/, json::parse_event_t event, json& parsed)
    {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            enterElement();
            if (m_frames.size() >= maxDepth)
                throw CatalogProblem{"nesting deeper than " + std::to_string(maxDepth) + " levels at " +
                                     location()};
            m_frames.push_back(Frame{event == json::parse_event_t::object_start, {}, {}, -1});
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            m_frames.pop_back();
            break;
        case json::parse_event_t::key: {
            Frame& object = m_frames.back();
            object.key = parsed.get<std::string>();
            if (!object.keys.insert(object.key).second)
                throw CatalogProblem{location(m_frames.size() - 1) + "key " + jsonQuoted(object.key) +
                                     " appears twice"};
            break;
        }
        case json::parse_event_t::value:
            enterElement();
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool isObject;
        std::set<std::string> keys;
        std::string key;
        long index; // current element of an array
    };

    void enterElement()
    {
        if (!m_frames.empty() && !m_frames.back().isObject)
            ++m_frames.back().index;
    }

    // "supported[2]: " for the frames below `depth`; empty at the top level.
    std::string location(std::size_t depth) const
    {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) {
            const Frame& frame = m_frames[i];
            if (frame.isObject)
                path += (path.empty() ? "" : ".") + frame.key;
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

    std::vector<Frame> m_frames;
};

json parseText(const std::string& text)
{
    DuplicateKeyWatch watch;
    try {
        return json::parse(text, std::ref(watch), true, false);
    } catch (const json::parse_error& error) {
        // what() carries a "[json.exception.parse_error.N] " prefix that helps nobody.
        std::string reason = error.what();
        const std::size_t end = reason.find("] ");
        if (reason.rfind("[json.exception.", 0) == 0 && end != std::string::npos)
            reason.erase(0, end + 2);
        throw CatalogProblem{"malformed JSON: " + reason};
    }
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
