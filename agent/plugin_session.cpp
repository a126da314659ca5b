#include "plugin_session.h"

#include <exception>
#include <optional>
#include <stdexcept>

#include "host/KXLError.h"
#include "host/KXLLog.h"
#include "text_escape.h"

namespace KXL {

namespace {

struct CallResult {
    std::optional<int> status; // empty when the call threw
    std::string exception;
};

// Plug-ins are not ours: nothing they throw may end the agent.
CallResult callEntryPoint(KXLPluginModule::EntryPoint entryPoint)
{
    // A stale text from an earlier call must not be blamed on this plug-in.
    setErrorMessage("");
    try {
        return {entryPoint(), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, error.what()};
    } catch (...) {
        return {std::nullopt, "an exception that is not a std::exception"};
    }
}

// "NAME: status N (error text)" for init, "NAME: finiKXLPlugIn status N (...)" for fini.
std::string describeFailure(const std::string& name, const char* entryPoint, bool isInit,
                            const CallResult& result)
{
    if (!result.status)
        return name + ": " + entryPoint + " threw: " + escapeText(result.exception);
    const std::string text = getErrorMessage();
    return name + ": " + (isInit ? "" : std::string(entryPoint) + " ") + "status " +
        std::to_string(*result.status) + " (" +
        (text.empty() ? std::string("the host reported no error text") : escapeText(text)) +
        ")";
}

} // namespace

KXLPluginSession::~KXLPluginSession()
{
    // Unload in reverse order of loading, as stop() does.
    while (!m_loaded.empty())
        m_loaded.pop_back();
}

void KXLPluginSession::fail(const std::string& line, std::ostream& report)
{
    ++m_failed;
    report << line << '\n' << std::flush;
    Log2(KXL_MODULE_NAME, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__)
        .put(1, "%s", line.c_str());
}

void KXLPluginSession::start(const std::vector<KXLPluginFile>& plugins, std::ostream& report)
{
    for (const KXLPluginFile& plugin : plugins) {
        ++m_attempted;
        const std::string name = escapeText(plugin.name);
        std::unique_ptr<KXLPluginModule> module;
        try {
            module = std::make_unique<KXLPluginModule>(plugin.path);
        } catch (const std::runtime_error& error) {
            fail(name + ": not loaded: " + escapeText(error.what()), report);
            continue;
        }
        // What the plug-in prints itself comes after the lines before it.
        report << std::flush;
        const CallResult result = callEntryPoint(module->init());
        m_loaded.push_back({name, std::move(module)});
        if (result.status && *result.status == 0)
            report << name << ": status 0\n";
        else
            fail(describeFailure(name, "initKXLPlugIn", true, result), report);
    }
    report << std::flush;
}

void KXLPluginSession::stop(std::ostream& report)
{
    report << std::flush;
    while (!m_loaded.empty()) {
        const Loaded& plugin = m_loaded.back();
        const CallResult result = callEntryPoint(plugin.module->fini());
        if (!result.status || *result.status != 0)
            fail(describeFailure(plugin.name, "finiKXLPlugIn", false, result), report);
        m_loaded.pop_back();
    }
}

} // namespace KXL
