#include "run_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <utility>

#include "common/file_io.h"
#include "common/text_prefix.h"
#include "agent/command_line/exit_status.h"
#include "host/KXLError.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLLog.h"
#include "host/KXLVocCacheLocal.h"
#include "host/KXPCatalog.h"
#include "host/lib/KXLCore/log_sink.h"
#include "host/lib/KXLFunctionalityCore/catalog_failure.h"
#include "agent/plugin_loading/install_layout.h"
#include "agent/output/metrics_series.h"
#include "agent/output/metrics_text.h"
#include "agent/output/piece_buffer.h"
#include "agent/plugin_loading/plugin_folder.h"
#include "agent/plugin_loading/plugin_session.h"
#include "agent/plugin_loading/run_lock.h"
#include "common/text_escape.h"
#include "agent/output/vocabulary_json.h"
#include "agent/vocabulary/vocabulary_check.h"
#include "agent/output/vocabulary_printer.h"

namespace KXL {

namespace {

// Long enough for any real run of the plug-ins, short enough to end a hung one's waiters.
constexpr std::chrono::seconds kLockPatience{60};

// Read here because the server reads the catalogue only when a plug-in asks for it: a bad
// file must stop the agent before any plug-in runs, not surface as a plug-in error. The
// server serves what was read here to each plug-in, so the file is parsed once and every
// plug-in sees the same catalogue, even if the file changes during the run.
bool loadCatalogue(const std::string& path, std::size_t plugins, std::ostream& err)
{
    const std::string absolute = std::filesystem::absolute(path).string();
    if (KXP::preloadCatalogFile(absolute, plugins) >= 0)
        return true;
    // The error text names the catalogue again, as the host library names it.
    err << "host-agent: unusable catalogue " << quoteText(path) << ": "
        << escapeMessage(withoutPrefix(getErrorMessage(), KXP::catalogFailurePrefix(absolute))) << '\n';
    return false;
}

const char* const kUnwritableHint =
    "; run as root, or give a plug-in folder you can write with --plugins DIR\n";

// Every plug-in of the layout's folders, sorted by name; of the same name, the first
// folder's. A single folder must exist and hold plug-ins; of a search path, folders that do
// not exist are skipped.
bool findAllPlugins(const RunLayout& layout, std::vector<PluginFile>& plugins,
                    std::ostream& err)
{
    namespace fs = std::filesystem;
    std::map<std::string, PluginFile> byName;
    std::string searched;
    for (const std::string& given : layout.pluginFolders) {
        std::error_code error;
        const fs::path folder = fs::absolute(given, error);
        searched += (searched.empty() ? "" : " or ") + quoteText(folder.string());
        if (error || !fs::is_directory(folder, error)) {
            const bool exists = fs::exists(folder, error);
            if (!exists && layout.pluginFolders.size() > 1)
                continue;
            err << "host-agent: the plug-in folder " << quoteText(given)
                << (exists ? " is not a folder\n" : " does not exist\n");
            return false;
        }
        try {
            for (PluginFile& plugin : findPlugins(folder.string()))
                byName.emplace(plugin.name, std::move(plugin));
        } catch (const fs::filesystem_error& failure) {
            err << "host-agent: cannot read the plug-in folder: " << escapeMessage(failure.what())
                << '\n';
            return false;
        }
    }
    // Running nothing and reporting success would hide a wrong or unpopulated folder.
    if (byName.empty()) {
        err << "host-agent: no plug-ins in " << searched
            << (layout.pluginFolders.size() > 1 ? " (a plug-in is NAME/NAME.so in one of them)\n"
                                                : " (a plug-in is NAME/NAME.so in that folder)\n");
        return false;
    }
    for (auto& [name, plugin] : byName)
        plugins.push_back(std::move(plugin));
    return true;
}

void printCache(std::ostream& out, const PluginSession& session, const GuestColumns& columns)
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
            std::string remark;
            if (const auto stale = session.keptFromBefore(name))
                remark = "Kept from before: " + *stale;
            else if (const auto notDurable = session.notDurable(name))
                remark = "Published but not made durable: " + *notDurable;
            printVocabulary(out, name, *document, remark, columns);
        }
    }
}

void writeJson(std::ostream& out, const PluginSession& session)
{
    openJsonDocument(out);
    out << "\"plugins\":[";
    bool first = true;
    for (const PluginOutcome& plugin : session.outcomes()) {
        out << (first ? "\n" : ",\n") << "{\"name\":" << jsonText(plugin.name) << ",\"status\":";
        first = false;
        if (plugin.status)
            out << *plugin.status;
        else
            out << "null";
        out << ",\"failed\":" << (plugin.failed ? "true" : "false")
            << ",\"published\":" << (plugin.published() ? "true" : "false")
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

bool writeRunMetrics(const RunOptions& options, const PluginSession& session,
                     std::ostream& out, std::ostream& err)
{
    std::vector<PluginMetrics> plugins;
    for (const PluginOutcome& plugin : session.outcomes())
        plugins.push_back({plugin.name, plugin.loaded, plugin.status, plugin.failed,
                           plugin.published()});
    const auto cache = vocCacheLocal();
    std::vector<std::shared_ptr<const KXLDocument>> documents; // what the series point into
    std::vector<VocabularyMetrics> vocabularies;
    for (const std::string& name : cache->names()) {
        auto document = cache->find(name);
        if (!document)
            continue;
        const auto file = session.loadedFrom(name);
        vocabularies.push_back({name, document.get(), !session.keptFromBefore(name),
                                file ? modificationTime(*file) : std::nullopt});
        documents.push_back(std::move(document));
    }
    return deliverMetrics(
        options.output.metricsFile,
        [&](std::ostream& stream) { writeMetrics(stream, plugins, vocabularies, options.output.metricsGuestOs); },
        out, err);
}

// While plug-ins run in JSON mode, what they print themselves goes to standard error, so
// that standard output holds the document alone; a failure to write it is standard error's,
// and leaves standard output's state as it was.
class StdoutToStderr {
public:
    StdoutToStderr()
        : m_passOn([](std::string_view bytes) { return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size(); },
                   0, [] { return std::fflush(stdout) == 0; })
    {
        std::cout.flush();
        std::fflush(stdout);
        // Above the standard three, and closed in what plug-ins start: else a child that
        // outlives the run holds standard output open, and a reader waits for it.
        sys::Fd saved(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
        if (!saved || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
            return;
        m_saved = std::move(saved);
        m_state = std::cout.rdstate();
        m_failedBefore = std::ferror(stdout) != 0;
        // Into the C stream still, as plug-ins' printf goes, so that the two keep their order;
        // but through a buffer of its own, whose failures are standard error's.
        m_buffer = std::cout.rdbuf(&m_passOn);
    }
    ~StdoutToStderr()
    {
        if (!m_saved)
            return;
        std::cout.flush();
        std::fflush(stdout);
        ::dup2(m_saved.get(), STDOUT_FILENO);
        std::cout.rdbuf(m_buffer);
        std::cout.clear(m_state);
        if (!m_failedBefore)
            std::clearerr(stdout);
    }

private:
    sys::Fd m_saved;
    std::ios::iostate m_state = std::ios::goodbit;
    bool m_failedBefore = false;
    std::streambuf* m_buffer = nullptr;
    PieceBuffer m_passOn;
};

} // namespace

int runAgent(const RunOptions& options, std::ostream& out, std::ostream& err)
{
    namespace fs = std::filesystem;

    if (!options.logFile.empty() && setLogFile(options.logFile) != 0) {
        err << "host-agent: cannot open the log file " << quoteText(options.logFile) << ": "
            << escapeMessage(withoutPrefix(getErrorMessage(), logFileFailurePrefix(options.logFile)))
            << '\n';
        return kExitTrouble;
    }

    const RunLayout layout = options.pluginsFolder.empty()
        ? defaultRunLayout()
        : RunLayout{{options.pluginsFolder}, options.pluginsFolder};
    std::vector<PluginFile> plugins;
    if (!findAllPlugins(layout, plugins, err))
        return kExitTrouble;
    if (!options.catalogFile.empty() && !loadCatalogue(options.catalogFile, plugins.size(), err))
        return kExitTrouble;
    const std::string state = fs::absolute(layout.stateFolder).string();
    // Held until the end: a second agent on the same state folder would otherwise save
    // over this agent's vocabularies between its save and its load.
    RunLock lock;
    std::string problem;
    std::error_code error;
    fs::create_directories(state, error);
    if (error || !lock.open(state, problem)) {
        if (error)
            problem = "cannot create " + quoteText(state) +
                ", where plug-ins save their vocabularies: " + error.message();
        err << "host-agent: " << escapeMessage(problem) << kUnwritableHint;
        return kExitTrouble;
    }
    if (!lock.acquire(kLockPatience, err, problem)) {
        err << "host-agent: " << escapeMessage(problem) << '\n';
        return kExitTrouble;
    }
    // Each plug-in saves into its own folder there; in a separate state folder the agent
    // makes it.
    for (const PluginFile& plugin : plugins) {
        const fs::path own = fs::path(state) / plugin.name;
        fs::create_directory(own, error);
        if (error) {
            err << "host-agent: cannot create " << quoteText(own.string()) << ": "
                << escapeMessage(error.message()) << kUnwritableHint;
            return kExitTrouble;
        }
    }
    KXLInstanceFolders::setPluginsFolder(state);
    // The one place where the agent says what it publishes: what `check` accepts.
    vocCacheLocal()->setVocabularyRule(
        [](const KXLDocument& document) { return firstError(checkVocabulary(document)); });

    PluginSession session;
    if (options.output.json || options.output.metricsFile == "-") {
        std::ostream silent(nullptr); // the document holds the report
        {
            const StdoutToStderr redirect;
            session.start(plugins, silent);
            session.stop(silent);
        }
        if (options.output.json)
            writeJson(out, session);
        out.flush();
    } else {
        session.start(plugins, out);
        printCache(out, session, options.output.columns);
        out << '\n';
        session.stop(out);
        out << session.started() << (session.started() == 1 ? " plug-in, " : " plug-ins, ")
            << session.failed() << " failed\n";
    }
    if (!options.output.metricsFile.empty() && !writeRunMetrics(options, session, out, err))
        return kExitTrouble;
    return session.failed() == 0 ? kExitSuccess : kExitFailure;
}

} // namespace KXL
