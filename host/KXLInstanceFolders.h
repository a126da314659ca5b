// Locations of the agent instance's folders.
#ifndef HOST_KXLINSTANCEFOLDERS_H
#define HOST_KXLINSTANCEFOLDERS_H

#include <string>
#include <utility>

namespace KXL {

// Paths are std::string values: std::bad_alloc when memory runs out.
class KXLInstanceFolders {
public:
    class pathSimple {
    public:
        explicit pathSimple(std::string path) : m_path(std::move(path)) {}

        // The entry `name` inside this path. A name that is empty, ".", ".." or holds a
        // '/' or a NUL would leave the folder: std::invalid_argument.
        pathSimple leaf(const std::string& name) const;
        operator std::string() const;

    private:
        std::string m_path; // first member: the layout relies on it
    };

    // The agent's plug-in folder.
    pathSimple plugins() const;

    // Host side: set by the agent at start-up; empty restores the install tree's default.
    static void setPluginsFolder(const std::string& path);
};

} // namespace KXL

#endif
