// Running a set of plug-ins: load and initialise each in turn, later finalise and unload.
#ifndef AGENT_PLUGIN_SESSION_H
#define AGENT_PLUGIN_SESSION_H

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "plugin_folder.h"
#include "plugin_module.h"

namespace KXL {

// How one plug-in fared. Texts are raw bytes, not escaped, but for `error`, which is as
// printed.
struct PluginOutcome {
    std::string name;
    bool loaded = false; // the shared object loaded with its entry points
    std::optional<int> status; // initKXLPlugIn's; empty when it was not called or threw
    bool tookVocabulary = false; // the cache took a vocabulary during its call, which succeeded
    bool failed = false;
    std::string error; // why it failed, escaped as printed; empty when it did not

    // A plug-in that failed later, in finiKXLPlugIn, published nothing.
    bool published() const { return tookVocabulary && !failed; }
};

class PluginSession {
public:
    PluginSession() = default;
    ~PluginSession(); // unloads what stop() did not
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Loads each plug-in in the given order and calls its initKXLPlugIn, one report line
    // per plug-in. A plug-in that does not load, lacks an entry point, returns non-zero,
    // throws, or whose call left a vocabulary unpublished (the cache refused it) counts as
    // failed; the others run all the same.
    void start(const std::vector<PluginFile>& plugins, std::ostream& report);

    // Calls finiKXLPlugIn of every plug-in whose init was called, the last started first,
    // and unloads it. A non-zero status or an exception is reported and counts as failed.
    void stop(std::ostream& report);

    std::size_t started() const { return m_outcomes.size(); }
    std::size_t failed() const { return m_failed; }
    const std::vector<PluginOutcome>& outcomes() const { return m_outcomes; }

    // Why the vocabulary the cache holds under `name` is not what this run published,
    // or nothing when it is.
    std::optional<std::string> keptFromBefore(const std::string& name) const;
    // Why this run's vocabulary under `name` may not survive a crash: its plug-in failed
    // only because the saved file could not be made durable. Nothing otherwise.
    std::optional<std::string> notDurable(const std::string& name) const;

    // The file the cache last took the vocabulary `name` from in this run, if any.
    std::optional<std::string> loadedFrom(const std::string& name) const;

private:
    struct Loaded {
        std::size_t outcome; // index in m_outcomes
        std::unique_ptr<PluginModule> module;
    };

    // Reports and logs the raw reason, each escaping it once.
    void fail(PluginOutcome& outcome, const std::string& reason, std::ostream& report);

    std::vector<Loaded> m_loaded;
    std::vector<PluginOutcome> m_outcomes;
    std::size_t m_failed = 0;
    std::map<std::string, std::string> m_current; // vocabulary -> the plug-in that published it
    std::map<std::string, std::string> m_stale; // vocabulary -> the failed plug-in that loaded it
    std::map<std::string, std::string> m_files; // vocabulary -> the file the cache took
    std::map<std::string, std::string> m_notDurable; // vocabulary -> why its file is not durable
};

} // namespace KXL

#endif
