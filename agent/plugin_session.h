// Running a set of plug-ins: load and initialise each in turn, later finalise and unload.
#ifndef AGENT_PLUGIN_SESSION_H
#define AGENT_PLUGIN_SESSION_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "plugin_folder.h"
#include "plugin_module.h"

namespace KXL {

class KXLPluginSession {
public:
    KXLPluginSession() = default;
    ~KXLPluginSession(); // unloads what stop() did not
    KXLPluginSession(const KXLPluginSession&) = delete;
    KXLPluginSession& operator=(const KXLPluginSession&) = delete;

    // Loads each plug-in in the given order and calls its initKXLPlugIn, one report line
    // per plug-in. A plug-in that does not load, lacks an entry point, returns non-zero
    // or throws counts as failed; the others run all the same.
    void start(const std::vector<KXLPluginFile>& plugins, std::ostream& report);

    // Calls finiKXLPlugIn of every plug-in whose init was called, the last started first,
    // and unloads it. A non-zero status or an exception is reported and counts as failed.
    void stop(std::ostream& report);

    std::size_t started() const { return m_attempted; }
    std::size_t failed() const { return m_failed; }

private:
    struct Loaded {
        std::string name;
        std::unique_ptr<KXLPluginModule> module;
    };

    void fail(const std::string& line, std::ostream& report);

    std::vector<Loaded> m_loaded;
    std::size_t m_attempted = 0;
    std::size_t m_failed = 0;
};

} // namespace KXL

#endif
