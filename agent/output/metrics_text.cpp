#include "metrics_text.h"

#include <cstdio>
#include <string_view>

#include "host/lib/KXLMessage/atomic_file.h"
#include "piece_buffer.h"
#include "common/text_escape.h"

namespace KXL {

namespace {

// Pieces of the series handed to the atomic writer at a time.
constexpr std::size_t kPiece = 64 * 1024;

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
    char fraction[24];
    std::snprintf(fraction, sizeof fraction, ".%03ld", nanoseconds / 1000000);
    m_out << ' ' << seconds << fraction << '\n';
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
    const bool written = voc::replaceFileAtomically(
        target,
        [&](voc::ByteSink& sink, std::string& sinkError) {
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
            << escapeText(error) << '\n';
    return written;
}

} // namespace KXL
