#include "agent/output/metrics_series.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "host/KXLMessageFile.h"
#include "agent/output/metrics_text.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

namespace {

// The label values of hostagent_vocabulary_entries, guest OSes split by their list.
enum EntryKind : std::size_t { kVersion, kCategory, kAdapter, kSupported, kExperimental, kOther };
constexpr std::array<const char*, kOther + 1> kKindNames = {
    "version", "category", "adapter", "supported_guest_os", "experimental_guest_os", "other"};

struct VocabularySummary {
    Vocabulary vocabulary;
    std::array<std::int64_t, kKindNames.size()> counts{};

    std::string_view stamp() const { return vocabulary.version ? vocabulary.version->stamp : std::string_view(); }
};

VocabularySummary summarize(const KXLDocument& document)
{
    VocabularySummary summary{classifyVocabulary(document), {}};
    const Vocabulary& vocabulary = summary.vocabulary;
    const auto experimental = std::count_if(vocabulary.guests.begin(), vocabulary.guests.end(),
                                            [](const GuestEntry& guest) { return guest.experimental; });
    summary.counts = {vocabulary.version ? 1 : 0, static_cast<std::int64_t>(vocabulary.categories.size()),
        static_cast<std::int64_t>(vocabulary.adapters.size()),
        static_cast<std::int64_t>(vocabulary.guests.size()) - experimental, experimental,
        static_cast<std::int64_t>(vocabulary.others.size())};
    return summary;
}

void writePluginSeries(MetricsText& text, const std::vector<PluginMetrics>& plugins)
{
    if (plugins.empty())
        return;
    text.family("hostagent_plugin_loaded", "gauge",
                "Whether the plug-in's shared object loaded with its entry points (1) or not (0).");
    for (const PluginMetrics& plugin : plugins)
        text.sample("hostagent_plugin_loaded", {{"plugin", plugin.name}}, plugin.loaded ? 1 : 0);
    if (std::any_of(plugins.begin(), plugins.end(), [](const auto& p) { return p.status.has_value(); })) {
        text.family("hostagent_plugin_status", "gauge",
                    "The status initKXLPlugIn returned (0 is success); absent when it was not "
                    "called or threw.");
        for (const PluginMetrics& plugin : plugins)
            if (plugin.status)
                text.sample("hostagent_plugin_status", {{"plugin", plugin.name}}, *plugin.status);
    }
    text.family("hostagent_plugin_failed", "gauge",
                "Whether the plug-in failed in the last run (1): not loaded, no entry point, a "
                "non-zero status, an exception, or its vocabulary not published.");
    for (const PluginMetrics& plugin : plugins)
        text.sample("hostagent_plugin_failed", {{"plugin", plugin.name}}, plugin.failed ? 1 : 0);
    text.family("hostagent_plugin_published", "gauge",
                "Whether the plug-in published its vocabulary in the last run (1) or not (0).");
    for (const PluginMetrics& plugin : plugins)
        text.sample("hostagent_plugin_published", {{"plugin", plugin.name}},
                    plugin.published ? 1 : 0);
}

void writeVocabularySeries(MetricsText& text,
                           const std::vector<VocabularyMetrics>& vocabularies,
                           const std::vector<VocabularySummary>& summaries)
{
    if (vocabularies.empty())
        return;
    text.family("hostagent_vocabulary_info", "gauge",
                "A vocabulary the agent serves, with its version stamp and .voc format; always 1.");
    for (std::size_t i = 0; i < vocabularies.size(); ++i)
        text.sample("hostagent_vocabulary_info",
                    {{"vocabulary", vocabularies[i].name}, {"stamp", summaries[i].stamp()},
                     {"format", kVocFormatVersion}},
                    1);

    if (std::any_of(vocabularies.begin(), vocabularies.end(),
                    [](const auto& v) { return v.published.has_value(); })) {
        text.family("hostagent_vocabulary_published", "gauge",
                    "Whether the vocabulary was published by the last run (1) or is the file of "
                    "an earlier one, kept because its plug-in failed (0).");
        for (const VocabularyMetrics& vocabulary : vocabularies)
            if (vocabulary.published)
                text.sample("hostagent_vocabulary_published", {{"vocabulary", vocabulary.name}},
                            *vocabulary.published ? 1 : 0);
    }
    if (std::any_of(vocabularies.begin(), vocabularies.end(),
                    [](const auto& v) { return v.savedAt.has_value(); })) {
        text.family("hostagent_vocabulary_publication_timestamp_seconds", "gauge",
                    "When the vocabulary's file was saved, in seconds since the epoch.");
        for (const VocabularyMetrics& vocabulary : vocabularies)
            if (vocabulary.savedAt)
                text.sample("hostagent_vocabulary_publication_timestamp_seconds",
                            {{"vocabulary", vocabulary.name}}, vocabulary.savedAt->tv_sec,
                            vocabulary.savedAt->tv_nsec);
    }

    text.family("hostagent_vocabulary_entries", "gauge",
                "The vocabulary's entries of one kind.");
    for (std::size_t i = 0; i < vocabularies.size(); ++i)
        for (std::size_t kind = 0; kind < kKindNames.size(); ++kind)
            text.sample("hostagent_vocabulary_entries",
                        {{"vocabulary", vocabularies[i].name}, {"kind", kKindNames[kind]}},
                        summaries[i].counts[kind]);
}

void writeGuestSeries(MetricsText& text, const std::vector<VocabularyMetrics>& vocabularies,
                      const std::vector<VocabularySummary>& summaries)
{
    if (std::none_of(summaries.begin(), summaries.end(),
                     [](const auto& s) { return s.counts[kSupported] + s.counts[kExperimental] > 0; }))
        return;
    text.family("hostagent_guest_os_info", "gauge",
                "A guest OS a vocabulary lists, supported or experimental; always 1.");
    for (std::size_t i = 0; i < vocabularies.size(); ++i)
        for (const GuestEntry& guest : summaries[i].vocabulary.guests)
            text.sample("hostagent_guest_os_info",
                        {{"vocabulary", vocabularies[i].name}, {"code", std::to_string(guest.code)},
                         {"identifier", guest.identifier}, {"display_name", guest.displayName},
                         {"experimental", guest.experimental ? "true" : "false"}},
                        1);
}

} // namespace

std::optional<std::timespec> modificationTime(const std::string& path)
{
    struct stat status {};
    // A pipe's or a terminal's time says nothing of when the vocabulary was saved.
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return status.st_mtim;
}

void writeMetrics(std::ostream& out, const std::vector<PluginMetrics>& plugins,
                  const std::vector<VocabularyMetrics>& vocabularies, bool guestOs)
{
    MetricsText text(out);
    std::vector<VocabularySummary> summaries;
    summaries.reserve(vocabularies.size());
    for (const VocabularyMetrics& vocabulary : vocabularies)
        summaries.push_back(summarize(*vocabulary.document));
    writePluginSeries(text, plugins);
    writeVocabularySeries(text, vocabularies, summaries);
    if (guestOs)
        writeGuestSeries(text, vocabularies, summaries);
}

} // namespace KXL
