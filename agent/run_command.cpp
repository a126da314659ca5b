#include "run_command.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "exit_status.h"
#include "host/KXLError.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLLog.h"
#include "host/KXLVocCacheLocal.h"
#include "host/KXPCatalog.h"
#include "plugin_folder.h"
#include "plugin_session.h"
#include "run_lock.h"
#include "text_escape.h"
#include "voc_input.h"
#include "vocabulary_json.h"
#include "vocabulary_model.h"
#include "vocabulary_printer.h"

namespace KXL {

namespace {

// Long enough for any real run of the plug-ins, short enough to end a hung one's waiters.
constexpr std::chrono::seconds lockPatience{60};

// Read here because the server reads the catalogue only when a plug-in asks for it: a bad
// file must stop the agent before any plug-in runs, not surface as a plug-in error. The
// server serves what was read here, so the file is parsed once.
bool loadCatalogue(const std::string& path, std::ostream& err)
{
    const std::string absolute = std::filesystem::absolute(path).string();
    if (KXP::preloadCatalogFile(absolute) >= 0)
        return true;
    // The error text names the catalogue again, as the host library names it.
    err << "host-agent: unusable catalogue " << quoteText(path) << ": "
        << escapeText(withoutPrefix(getErrorMessage(), "guest OS catalogue '" + absolute + "': ")) << '\n';
    return false;
}

void printCache(std::ostream& out, const KXLPluginSession& session)
{
    const auto cache = vocCacheLocal();
    const std::vector<std::string> names = cache->names();
    if (names.empty()) {
        out << "\nThe vocabulary cache is empty\n";
        return;
    }
    for (const std::string& name : names) {
        // A name listed a moment ago is still there: nothing else runs meanwhile.
        if (const auto document = cache->find(name)) {
            out << '\n';
            const auto stale = session.keptFromBefore(name);
            printVocabulary(out, name, *document, stale ? "Kept from before: " + *stale : std::string());
        }
    }
}

void writeJson(std::ostream& out, const KXLPluginSession& session)
{
    out << "{\"format\":1,\"plugins\":[";
    bool first = true;
    for (const KXLPluginOutcome& plugin : session.outcomes()) {
        out << (first ? "\n" : ",\n") << "{\"name\":" << jsonText(plugin.name) << ",\"status\":";
        first = false;
        if (plugin.status)
            out << *plugin.status;
        else
            out << "null";
        out << ",\"failed\":" << (plugin.failed ? "true" : "false")
            << ",\"published\":" << (plugin.published.empty() || plugin.failed ? "false" : "true")
            << ",\"error\":" << (plugin.failed ? jsonText(plugin.error) : std::string("null")) << '}';
    }
    out << "\n],\"failed\":" << session.failed() << ",\"vocabularies\":[";
    const auto cache = vocCacheLocal();
    first = true;
    for (const std::string& name : cache->names()) {
        if (const auto document = cache->find(name)) {
            out << (first ? "\n{" : ",\n{");
            first = false;
            writeVocabularyMembers(out, name, *document);
            out << ",\"stale\":" << (session.keptFromBefore(name) ? "true" : "false") << '}';
        }
    }
    out << "\n]}\n";
}

// While plug-ins run in JSON mode, what they print themselves goes to standard error, so
// that standard output holds the document alone.
class KXLStdoutToStderr {
public:
    explicit KXLStdoutToStderr(bool active)
    {
        if (!active)
            return;
        std::cout.flush();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        if (m_saved >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            ::close(m_saved);
            m_saved = -1;
        }
    }
    ~KXLStdoutToStderr()
    {
        if (m_saved < 0)
            return;
        std::cout.flush();
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }
    KXLStdoutToStderr(const KXLStdoutToStderr&) = delete;
    KXLStdoutToStderr& operator=(const KXLStdoutToStderr&) = delete;

private:
    int m_saved = -1;
};

} // namespace

int runAgent(const KXLRunOptions& options, std::ostream& out, std::ostream& err)
{
    namespace fs = std::filesystem;

    if (!options.logFile.empty() && setLogFile(options.logFile) != 0) {
        err << "host-agent: cannot open the log file " << quoteText(options.logFile) << ": "
            << escapeText(withoutPrefix(getErrorMessage(), "cannot open log file '" + options.logFile + "': "))
            << '\n';
        return exitTrouble;
    }
    if (!options.catalogFile.empty()) {
        if (!loadCatalogue(options.catalogFile, err))
            return exitTrouble;
    }

    std::error_code error;
    const fs::path folder = fs::absolute(options.pluginsFolder, error);
    if (error || !fs::is_directory(folder, error)) {
        err << "host-agent: the plug-in folder " << quoteText(options.pluginsFolder)
            << (fs::exists(folder, error) ? " is not a folder\n" : " does not exist\n");
        return exitTrouble;
    }
    std::vector<KXLPluginFile> plugins;
    try {
        plugins = findPlugins(folder.string());
    } catch (const fs::filesystem_error& failure) {
        err << "host-agent: cannot read the plug-in folder: " << escapeText(failure.what())
            << '\n';
        return exitTrouble;
    }
    // Running nothing and reporting success would hide a wrong or unpopulated folder.
    if (plugins.empty()) {
        err << "host-agent: no plug-ins in " << quoteText(folder.string())
            << " (a plug-in is NAME/NAME.so in that folder)\n";
        return exitTrouble;
    }
    // Held until the end: a second agent on the same folder would otherwise save over this
    // agent's vocabularies between its save and its load.
    KXLRunLock lock;
    std::string problem;
    if (!lock.acquire(folder.string(), lockPatience, err, problem)) {
        err << "host-agent: " << escapeText(problem) << '\n';
        return exitTrouble;
    }
    KXLInstanceFolders::setPluginsFolder(folder.string());
    // The one place where the agent says what it publishes: what `check` accepts.
    vocCacheLocal()->setVocabularyRule(
        [](const KXLDocument& document) { return firstError(checkVocabulary(document)); });

    KXLPluginSession session;
    if (options.json) {
        std::ostream silent(nullptr); // the document holds the report
        {
            const KXLStdoutToStderr redirect(true);
            session.start(plugins, silent);
            session.stop(silent);
        }
        writeJson(out, session);
        out.flush();
    } else {
        session.start(plugins, out);
        printCache(out, session);
        out << '\n';
        session.stop(out);
        out << session.started() << (session.started() == 1 ? " plug-in, " : " plug-ins, ")
            << session.failed() << " failed\n";
    }
    return session.failed() == 0 ? exitSuccess : exitFailure;
}

} // namespace KXL
