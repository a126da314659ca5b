// Writing series in the Prometheus text exposition format, and delivering the result to a
// file the node exporter's textfile collector reads, or to standard output.
#ifndef AGENT_METRICS_TEXT_H
#define AGENT_METRICS_TEXT_H

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace KXL {

using MetricLabels = std::initializer_list<std::pair<const char*, std::string_view>>;

// Samples of one family must follow its HELP and TYPE lines with no other family between.
class MetricsText {
public:
    explicit MetricsText(std::ostream& out) : m_out(out) {}

    // An info series is a gauge of value 1: the format of this Prometheus has no info type.
    void family(const char* name, const char* type, const char* help);
    void sample(const char* name, MetricLabels labels, std::int64_t value);
    // A time as seconds since the epoch, to the millisecond.
    void sample(const char* name, MetricLabels labels, std::int64_t seconds, long nanoseconds);

private:
    void series(const char* name, MetricLabels labels);

    std::ostream& m_out;
};

// Writes what `write` produces to `target`: "-" is `out`, anything else a file replaced
// atomically (a temporary file in the same folder, renamed over it), so a reader never
// sees half of it. A symbolic link stays: the file it finally names is replaced, in that
// file's folder. False, with the reason told to err, when the file cannot be written, and
// when target is (or links to) something other than a regular file, or is a link to
// nothing; the file is then as before.
bool deliverMetrics(const std::string& target, const std::function<void(std::ostream&)>& write,
                    std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
