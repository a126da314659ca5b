#include "metrics_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include <sys/stat.h>

#include "common/atomic_file.h"
#include "piece_buffer.h"
#include "common/file_io.h"
#include "common/text_escape.h"

namespace KXL {

namespace {

// Pieces of the series handed to the atomic writer at a time.
constexpr std::size_t kPiece = 64 * 1024;

// The file to replace for `target`: the one its links finally name, so that a link set up
// for the collector stays a link, and only if that is a regular file or nothing yet. The
// writer renames over whatever is there, and a FIFO or a device node is no file of ours.
// No rename refuses what it replaces, so this is checked just before, not with it.
std::optional<std::string> fileToReplace(const std::string& target, std::string& error)
{
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return target; // a new file, or a missing folder the writer names
        error = sys::errorText("cannot examine it", errno);
        return std::nullopt;
    }
    std::string file = target;
    if (S_ISLNK(status.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(
            ::realpath(target.c_str(), nullptr), &std::free);
        // Where a dangling link was meant to lead (a missing folder, a typo) is a guess.
        if (!resolved && errno == ENOENT) {
            error = "a symbolic link to a file that does not exist";
            return std::nullopt;
        }
        if (!resolved || ::stat(resolved.get(), &status) != 0) {
            error = sys::errorText("cannot follow the symbolic link", errno);
            return std::nullopt;
        }
        file = resolved.get();
    }
    if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
        return std::nullopt;
    }
    return file;
}

} // namespace

void MetricsText::family(const char* name, const char* type, const char* help)
{
    m_out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

void MetricsText::series(const char* name, MetricLabels labels)
{
    m_out << name;
    const char* separator = "{";
    for (const auto& [label, value] : labels) {
        m_out << separator << label << "=\"" << metricLabelText(value) << '"';
        separator = ",";
    }
    if (labels.size() > 0)
        m_out << '}';
}

void MetricsText::sample(const char* name, MetricLabels labels, std::int64_t value)
{
    series(name, labels);
    m_out << ' ' << value << '\n';
}

void MetricsText::sample(const char* name, MetricLabels labels, std::int64_t seconds,
                            long nanoseconds)
{
    series(name, labels);
    // Before 1970 the seconds count down and the fraction still up: -1.5 s is -2 and 0.5.
    const bool negative = seconds < 0;
    if (negative && nanoseconds > 0) {
        ++seconds;
        nanoseconds = 1000000000L - nanoseconds;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%03ld", negative && seconds == 0 ? "-" : "",
                  static_cast<long long>(seconds), nanoseconds / 1000000);
    m_out << ' ' << text << '\n';
}

bool deliverMetrics(const std::string& target, const std::function<void(std::ostream&)>& write,
                    std::ostream& out, std::ostream& err)
{
    if (target == "-") {
        write(out);
        out.flush();
        return true;
    }
    std::string error;
    const std::optional<std::string> file = fileToReplace(target, error);
    const bool written = file && sys::replaceFileAtomically(
        *file,
        [&](sys::ByteSink& sink, std::string& sinkError) {
            PieceBuffer buffer([&](std::string_view piece) { return sink.write(piece, sinkError); },
                               kPiece);
            std::ostream stream(&buffer);
            write(stream);
            if (buffer.handOn() && stream.good())
                return true;
            if (sinkError.empty())
                sinkError = "cannot write the series";
            return false;
        },
        error);
    if (!written)
        err << "host-agent: cannot write the metrics file " << quoteText(target) << ": "
            << escapeMessage(error) << '\n';
    return written;
}

} // namespace KXL
