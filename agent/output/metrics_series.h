// The series the agent exports about a run or a saved vocabulary file (documented in
// host-agent(1)): plug-ins, vocabularies, entries by kind and one info series per guest OS.
#ifndef AGENT_METRICS_SERIES_H
#define AGENT_METRICS_SERIES_H

#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/KXLMessageTree.h"

namespace KXL {

struct PluginMetrics {
    std::string name;
    bool loaded = false;
    std::optional<int> status; // initKXLPlugIn's; empty when it was not called or threw
    bool failed = false;
    bool published = false;
};

struct VocabularyMetrics {
    std::string name;
    const KXLDocument* document = nullptr; // a vocabulary (vocabularyContainer not null)
    std::optional<bool> published; // false: kept from before; empty: not known (a saved file)
    std::optional<std::timespec> savedAt; // the file's modification time
};

// The file's modification time: when a vocabulary file was saved. Empty when it cannot be
// read or is no regular file.
std::optional<std::timespec> modificationTime(const std::string& path);

// Every family in one block, plug-ins first; a family without samples is left out.
void writeMetrics(std::ostream& out, const std::vector<PluginMetrics>& plugins,
                  const std::vector<VocabularyMetrics>& vocabularies, bool guestOs);

} // namespace KXL

#endif
