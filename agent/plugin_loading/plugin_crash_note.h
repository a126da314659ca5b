// Naming the plug-in that brings the agent down. Plug-ins run inside the agent, so a fatal
// signal in one (a crash, an exception thrown while its library loads) ends the run; the
// administrator should at least learn which plug-in was running.
#ifndef AGENT_PLUGIN_CRASH_NOTE_H
#define AGENT_PLUGIN_CRASH_NOTE_H

#include <csignal>
#include <iterator>
#include <string>

namespace KXL {

// While one lives, a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) first writes
// `host-agent: fatal signal SIGNAL while plug-in "NAME" ran` to standard error, then takes
// its default course. Its end puts back the handlers it found. One at a time.
class PluginCrashNote {
public:
    explicit PluginCrashNote(const std::string& plugin);
    ~PluginCrashNote();
    PluginCrashNote(const PluginCrashNote&) = delete;
    PluginCrashNote& operator=(const PluginCrashNote&) = delete;

    static constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

private:
    struct sigaction m_previous[std::size(kFatalSignals)];
};

} // namespace KXL

#endif
