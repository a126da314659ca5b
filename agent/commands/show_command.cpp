#include "show_command.h"

#include <charconv>
#include <cstdint>

#include "agent/command_line/exit_status.h"
#include "agent/output/metrics_series.h"
#include "agent/output/metrics_text.h"
#include "common/plain_decimal.h"
#include "common/text_escape.h"
#include "voc_input.h"
#include "agent/output/vocabulary_json.h"
#include "agent/vocabulary/vocabulary_check.h"
#include "agent/output/vocabulary_printer.h"

namespace KXL {

namespace {

// A guest OS is wanted when its code is the decimal number given or its identifier is the
// text given. A number is written as the format writes one: "007" can only be an identifier.
class GuestQuery {
public:
    explicit GuestQuery(const std::string& query) : m_query(query)
    {
        std::uint32_t code = 0;
        if (isPlainDecimal(query) && std::from_chars(query.data(), query.data() + query.size(), code).ec == std::errc())
            m_code = code;
    }

    bool operator()(const GuestEntry& guest) const
    {
        return (m_code && guest.code == *m_code) || guest.identifier == m_query;
    }

private:
    std::string m_query;
    std::optional<std::uint32_t> m_code;
};

// The file is where the vocabulary came from; its name is the one its version stamp gives.
struct Shown {
    std::optional<std::string> name;
    std::string source; // as the text output shows it
};

// Opens the document's object: `{"format":1,"source":FILE,`.
void jsonHead(std::ostream& out, const std::string& file)
{
    openJsonDocument(out);
    out << "\"source\":" << jsonText(file) << ',';
}

int showGuest(const ShowOptions& options, const Shown& shown, const KXLDocument& document,
              std::ostream& out, std::ostream& err)
{
    const GuestQuery wanted(*options.guest);
    std::size_t found = 0;
    if (options.output.json) {
        for (const GuestEntry& guest : classifyVocabulary(document).guests) {
            if (!wanted(guest))
                continue;
            if (found++ == 0) {
                jsonHead(out, options.file);
                out << "\"name\":" << (shown.name ? jsonText(*shown.name) : std::string("null"))
                    << ",\"guest_os\":[\n";
            } else {
                out << ",\n";
            }
            writeGuestJson(out, guest);
        }
        if (found > 0)
            out << "\n]}\n";
    } else {
        found = printGuests(out, shown.name.value_or(""), document, wanted, shown.source, options.output.columns);
    }
    if (found == 0) {
        err << "host-agent: no guest OS with the code or identifier " << quoteText(*options.guest)
            << " in " << inputName(options.file) << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}

// The vocabulary is named as the cache names the file it loads, NAME/NAME.voc, so that a file
// copied off a host gives the series the host's agent gives.
int showMetrics(const ShowOptions& options, const KXLDocument& document, std::ostream& out,
                std::ostream& err)
{
    // Only what the cache would take: anything else has no sound reading as series.
    const std::string problem = firstError(checkVocabulary(document));
    if (!problem.empty()) {
        err << "host-agent: " << inputName(options.file) << " is not a vocabulary: "
            << escapeMessage(problem) << '\n';
        return kExitFailure;
    }
    VocabularyMetrics vocabulary{vocabularyName(document).value_or("-"), &document,
                                    std::nullopt, std::nullopt};
    if (options.file != "-")
        vocabulary.savedAt = modificationTime(options.file);
    const bool written = deliverMetrics(
        options.output.metricsFile,
        [&](std::ostream& stream) { writeMetrics(stream, {}, {vocabulary}, options.output.metricsGuestOs); },
        out, err);
    return written ? kExitSuccess : kExitTrouble;
}

} // namespace

int showVocabularyFile(const ShowOptions& options, std::ostream& out, std::ostream& err)
{
    KXLDocument document;
    if (!readVocabularyFile(options.file, "show", document, err))
        return kExitTrouble;
    if (!options.output.metricsFile.empty()) {
        const int status = showMetrics(options, document, out, err);
        if (status != kExitSuccess || options.output.metricsFile == "-")
            return status;
    }
    const Shown shown{vocabularyName(document), "Source: " + inputName(options.file)};
    if (options.guest)
        return showGuest(options, shown, document, out, err);
    if (options.output.json) {
        jsonHead(out, options.file);
        writeVocabularyMembers(out, shown.name, document);
        out << "}\n";
    } else {
        printVocabulary(out, shown.name.value_or(""), document, shown.source, options.output.columns);
    }
    return kExitSuccess;
}

} // namespace KXL
