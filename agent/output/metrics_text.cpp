#include "metrics_text.h"

#include <array>
#include <cstdio>
#include <streambuf>

#include "agent/lib/KXLMessage/atomicFile.h"
#include "text_escape.h"

namespace KXL {

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

namespace {

// An ostream's buffer that hands full pieces to the atomic writer's sink.
class SinkBuffer final : public std::streambuf {
public:
    SinkBuffer(voc::ByteSink& sink, std::string& error) : m_sink(sink), m_error(error)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    bool flushPiece()
    {
        const std::string_view piece(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        if (m_failed || piece.empty())
            return !m_failed;
        m_failed = !m_sink.write(piece, m_error);
        return !m_failed;
    }

protected:
    int_type overflow(int_type c) override
    {
        if (!flushPiece())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override { return flushPiece() ? 0 : -1; }

private:
    voc::ByteSink& m_sink;
    std::string& m_error;
    bool m_failed = false;
    std::array<char, 64 * 1024> m_buffer;
};

} // namespace

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
            SinkBuffer buffer(sink, sinkError);
            std::ostream stream(&buffer);
            write(stream);
            if (buffer.flushPiece() && stream.good())
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
