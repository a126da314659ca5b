#include "host/KXLInstanceFolders.h"

#include <stdexcept>

#include "common/text_escape.h"

namespace KXL {

KXLInstanceFolders::pathSimple KXLInstanceFolders::pathSimple::leaf(const std::string& name) const
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        throw std::invalid_argument("'" + escapeText(name) + "' is not a plain entry name inside '" + m_path + "'");
    if (m_path.empty())
        return pathSimple(name);
    if (m_path.back() == '/')
        return pathSimple(m_path + name);
    return pathSimple(m_path + '/' + name);
}

KXLInstanceFolders::pathSimple::operator std::string() const
{
    return m_path;
}

} // namespace KXL
