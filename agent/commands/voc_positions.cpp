#include "voc_positions.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include <expat.h>

#include "common/line_column.h"

namespace KXL {

namespace {

using Part = VocabularyProblem::Part;


// Notes the start tags of <message> (depth 1), of its first element (the top element, 2),
// of that one's first element (the container, 3) and of the container's children (4),
// counted as the tree counts them: elements and named values, not values.
class Locator {
public:
    Locator(XML_Parser parser, std::size_t lastItem) : m_parser(parser), m_lastItem(lastItem)
    {
        m_items.resize(lastItem + 1);
    }

    FilePosition part(Part part, std::size_t item) const
    {
        switch (part) {
        case Part::Document: return m_message;
        case Part::Root: return m_root;
        case Part::Container: return m_container;
        case Part::Item: return item < m_items.size() ? m_items[item] : FilePosition{};
        }
        return {};
    }

    static void start(void* self, const XML_Char* name, const XML_Char**)
    {
        static_cast<Locator*>(self)->opened(name);
    }
    static void end(void* self, const XML_Char*)
    {
        auto* locator = static_cast<Locator*>(self);
        if (locator->m_depth-- == 3)
            locator->m_inContainer = false;
    }

private:
    XML_Parser m_parser;
    std::size_t m_lastItem;
    std::size_t m_depth = 0;
    bool m_inContainer = false;
    std::size_t m_item = 0;
    FilePosition m_message;
    FilePosition m_root;
    FilePosition m_container;
    std::vector<FilePosition> m_items;

    FilePosition here() const
    {
        return {XML_GetCurrentLineNumber(m_parser), XML_GetCurrentColumnNumber(m_parser) + 1};
    }

    void opened(std::string_view name)
    {
        ++m_depth;
        if (m_depth > 1 && name != "element" && name != "named")
            return; // a value
        if (m_depth == 1) {
            m_message = here();
        } else if (m_depth == 2 && m_root.line == 0) {
            m_root = here();
        } else if (m_depth == 3 && m_container.line == 0) {
            m_container = here();
            m_inContainer = true;
            if (m_lastItem == 0)
                XML_StopParser(m_parser, XML_FALSE);
        } else if (m_depth == 4 && m_inContainer && m_item < m_lastItem) {
            m_items[++m_item] = here();
            if (m_item == m_lastItem) // the rest of a large file is of no interest
                XML_StopParser(m_parser, XML_FALSE);
        }
    }
};

} // namespace

std::vector<FilePosition> problemPositions(const VocInput& input,
                                              const std::vector<VocabularyProblem>& problems)
{
    std::size_t lastItem = 0;
    for (const VocabularyProblem& problem : problems)
        if (problem.part == Part::Item)
            lastItem = std::max(lastItem, problem.item);

    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                               &XML_ParserFree);
    std::vector<FilePosition> positions(problems.size());
    if (!parser)
        return positions;
    Locator locator(parser.get(), lastItem);
    XML_SetUserData(parser.get(), &locator);
    XML_SetElementHandler(parser.get(), &Locator::start, &Locator::end);
    // Parsing stops once the last item was found, or at a file expat refuses.
    bool parsing = true;
    input.readAgain([&](std::string_view chunk) {
        parsing = XML_Parse(parser.get(), chunk.data(), static_cast<int>(chunk.size()), XML_FALSE) == XML_STATUS_OK;
        return parsing;
    });
    if (parsing)
        XML_Parse(parser.get(), nullptr, 0, XML_TRUE);
    for (std::size_t i = 0; i < problems.size(); ++i)
        positions[i] = locator.part(problems[i].part, problems[i].item);
    return positions;
}

FilePosition endPosition(const VocInput& input)
{
    LineColumn end;
    const bool read = input.readAgain([&end](std::string_view got) {
        end.feed(got);
        return true;
    });
    return read ? FilePosition{end.line(), end.column()} : FilePosition{};
}

} // namespace KXL
