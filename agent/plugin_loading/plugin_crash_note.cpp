#include "plugin_crash_note.h"

#include <unistd.h>

#include <string_view>

#include "common/file_io.h"
#include "common/text_escape.h"

namespace KXL {

namespace {

constexpr std::string_view kSignalNames[] = {"SIGSEGV", "SIGBUS", "SIGILL", "SIGFPE", "SIGABRT"};
static_assert(std::size(kSignalNames) == std::size(PluginCrashNote::kFatalSignals));

// Composed before the plug-in runs: the handler may only write.
std::string pluginText;

void noteCrash(int signal)
{
    for (std::size_t i = 0; i < std::size(kSignalNames); ++i) {
        if (PluginCrashNote::kFatalSignals[i] == signal) {
            sys::writeAll(STDERR_FILENO, "host-agent: fatal signal ");
            sys::writeAll(STDERR_FILENO, kSignalNames[i]);
            sys::writeAll(STDERR_FILENO, pluginText);
        }
    }
    // The handler is gone (SA_RESETHAND): the signal now does what it would have done.
    std::raise(signal);
}

} // namespace

PluginCrashNote::PluginCrashNote(const std::string& plugin)
{
    pluginText = " while plug-in " + quoteText(plugin) + " ran\n";
    struct sigaction action {};
    action.sa_handler = noteCrash;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i)
        sigaction(kFatalSignals[i], &action, &m_previous[i]);
}

PluginCrashNote::~PluginCrashNote()
{
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i)
        sigaction(kFatalSignals[i], &m_previous[i], nullptr);
}

} // namespace KXL
