#include "plugin_session.h"

#include <exception>
#include <stdexcept>

#include <boost/shared_ptr.hpp>

#include "common/atomic_file.h"
#include "host/lib/KXLMessage/message_file_failure.h"
#include "host/KXLError.h"
#include "host/KXLLog.h"
#include "host/KXLVocCacheLocal.h"
#include "common/text_escape.h"
#include "common/text_prefix.h"
#include "plugin_crash_note.h"

namespace KXL {

namespace {

struct CallResult {
    std::optional<int> status; // empty when the call threw
    std::string exception;
    std::string errorText; // the thread's error text after the call
    std::vector<KXLVocLoadRecord> loads; // what the call handed to the cache
};

// Plug-ins are not ours: nothing they throw may end the agent.
CallResult callEntryPoint(PluginModule::EntryPoint entryPoint)
{
    const auto cache = vocCacheLocal();
    const std::uint64_t firstLoad = cache->journalEnd();
    // A stale text from an earlier call must not be blamed on this plug-in.
    setErrorMessage("");
    CallResult result;
    try {
        result.status = entryPoint();
    } catch (const std::exception& error) {
        result.exception = error.what();
    } catch (...) {
        result.exception = "an exception that is not a std::exception";
    }
    result.errorText = getErrorMessage();
    result.loads = cache->journalSince(firstLoad);
    return result;
}

std::string notPublished(const KXLVocLoadRecord& load)
{
    return "vocabulary \"" + load.name + "\" was not published: " + load.reason;
}

// Why a finished init failed, or nothing; raw, as every reason handed to fail(). The error
// text after the call is the last failed host call's; when that was a refused load, the
// failure before it (such as the save of the file that was then loaded) is the cause, and
// the refusal comes after it.
std::optional<std::string> initFailure(const CallResult& result)
{
    if (!result.status)
        return "initKXLPlugIn threw: " + result.exception;
    std::vector<const KXLVocLoadRecord*> refused;
    for (const KXLVocLoadRecord& load : result.loads)
        if (load.status != 0)
            refused.push_back(&load);
    if (*result.status == 0) {
        if (refused.empty())
            return std::nullopt;
        std::string text = "status 0, but ";
        for (std::size_t i = 0; i < refused.size(); ++i)
            text += (i > 0 ? "; " : "") + notPublished(*refused[i]);
        return text;
    }
    std::string cause = result.errorText;
    bool causeIsRefusal = false;
    if (!refused.empty() && cause.find(refused.back()->reason) != std::string::npos) {
        causeIsRefusal = refused.back()->earlierError.empty();
        if (!causeIsRefusal)
            cause = refused.back()->earlierError;
    }
    std::string text = "status " + std::to_string(*result.status) + " (" +
        (cause.empty() ? std::string("the host reported no error text") : cause) + ")";
    for (std::size_t i = 0; i < refused.size(); ++i) {
        if (i + 1 == refused.size() && causeIsRefusal)
            break;
        text += "; " + notPublished(*refused[i]);
    }
    return text;
}

// Why this call's save of the file it then loaded failed, or nothing when it did not.
std::optional<std::string_view> saveFailure(const KXLVocLoadRecord& load)
{
    return afterPrefix(load.earlierError, voc::saveFailurePrefix(load.path));
}

// A failed save that still renamed its file into place (only the folder's flush failed)
// leaves this call's content there: what the cache then loaded from that very path is this
// run's publication, just not a durable one. Returns the reason it is not durable.
std::optional<std::string> folderNotFlushed(const KXLVocLoadRecord& load)
{
    const std::optional<std::string_view> saving = saveFailure(load);
    const std::optional<std::string_view> rest = saving ? afterPrefix(*saving, sys::kFolderNotFlushed) : std::nullopt;
    if (!rest)
        return std::nullopt;
    return "its folder could not be flushed to disk" + std::string(*rest);
}

std::string finiFailure(const CallResult& result)
{
    if (!result.status)
        return "finiKXLPlugIn threw: " + result.exception;
    return "finiKXLPlugIn status " + std::to_string(*result.status) + " (" +
        (result.errorText.empty() ? std::string("the host reported no error text")
                                  : result.errorText) +
        ")";
}

} // namespace

PluginSession::~PluginSession()
{
    // Unload in reverse order of loading, as stop() does.
    while (!m_loaded.empty()) {
        const PluginCrashNote note(m_outcomes[m_loaded.back().outcome].name);
        m_loaded.pop_back();
    }
}

void PluginSession::fail(PluginOutcome& outcome, const std::string& reason, std::ostream& report)
{
    if (!outcome.failed)
        ++m_failed;
    outcome.failed = true;
    const std::string shown = escapeMessage(reason);
    outcome.error += (outcome.error.empty() ? "" : "; ") + shown;
    report << escapeText(outcome.name) << ": " << shown << '\n' << std::flush;
    // The log escapes what it is given one to one, as it does every record: a part of the
    // reason that is escaped already shows its backslashes doubled there.
    Log2(KXL_MODULE_NAME, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__)
        .put(1, "%s: %s", outcome.name.c_str(), reason.c_str());
}

void PluginSession::start(const std::vector<PluginFile>& plugins, std::ostream& report)
{
    for (const PluginFile& plugin : plugins) {
        m_outcomes.push_back({plugin.name, false, std::nullopt, {}, false, {}});
        const std::size_t index = m_outcomes.size() - 1;
        const PluginCrashNote note(plugin.name); // its library's constructors run in dlopen
        std::unique_ptr<PluginModule> module;
        try {
            module = std::make_unique<PluginModule>(plugin.path);
        } catch (const std::runtime_error& error) {
            fail(m_outcomes[index], std::string("not loaded: ") + error.what(), report);
            continue;
        }
        // What the plug-in prints itself comes after the lines before it.
        report << std::flush;
        const CallResult result = callEntryPoint(module->init());
        m_loaded.push_back({index, std::move(module)});
        PluginOutcome& outcome = m_outcomes[index];
        outcome.loaded = true;
        outcome.status = result.status;
        const std::optional<std::string> failure = initFailure(result);
        for (const KXLVocLoadRecord& load : result.loads) {
            if (load.status != 0)
                continue;
            const bool sameFile = m_files[load.name] == load.path;
            m_files[load.name] = load.path;
            const std::optional<std::string> notMadeDurable = folderNotFlushed(load);
            // A save that failed left the file as it was: what an earlier plug-in published
            // there in this run stays its publication.
            if (failure && !notMadeDurable && saveFailure(load) && sameFile && m_current.count(load.name) != 0)
                continue;
            if (failure && !notMadeDurable) {
                // Whatever else the cache took from a failing plug-in is not its publication:
                // after a failed save it is the file an earlier run left.
                m_current.erase(load.name);
                m_notDurable.erase(load.name);
                m_stale[load.name] = plugin.name;
            } else {
                if (!failure)
                    outcome.tookVocabulary = true;
                m_current[load.name] = plugin.name;
                m_stale.erase(load.name);
                if (notMadeDurable)
                    m_notDurable[load.name] = "plug-in " + quoteText(plugin.name) + " saved it, but " +
                        escapeMessage(*notMadeDurable);
                else
                    m_notDurable.erase(load.name);
            }
        }
        if (failure)
            fail(outcome, *failure, report);
        else
            report << escapeText(plugin.name) << ": status 0\n";
    }
    report << std::flush;
}

void PluginSession::stop(std::ostream& report)
{
    report << std::flush;
    while (!m_loaded.empty()) {
        const Loaded& plugin = m_loaded.back();
        const PluginCrashNote note(m_outcomes[plugin.outcome].name); // and its destructors in dlclose
        const CallResult result = callEntryPoint(plugin.module->fini());
        if (!result.status || *result.status != 0)
            fail(m_outcomes[plugin.outcome], finiFailure(result), report);
        m_loaded.pop_back();
    }
}

std::optional<std::string> PluginSession::notDurable(const std::string& name) const
{
    const auto found = m_notDurable.find(name);
    return found == m_notDurable.end() ? std::nullopt : std::optional<std::string>(found->second);
}

std::optional<std::string> PluginSession::keptFromBefore(const std::string& name) const
{
    if (m_current.count(name) != 0)
        return std::nullopt;
    const auto stale = m_stale.find(name);
    if (stale != m_stale.end())
        return "plug-in " + quoteText(stale->second) + " failed, so this is not a publication of this run";
    return std::string("no plug-in published it in this run");
}

std::optional<std::string> PluginSession::loadedFrom(const std::string& name) const
{
    const auto file = m_files.find(name);
    if (file == m_files.end())
        return std::nullopt;
    return file->second;
}

} // namespace KXL
