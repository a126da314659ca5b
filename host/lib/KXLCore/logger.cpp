#include "host/KXLLog.h"

#include <time.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/text_escape.h"
#include "log_sink.h"

namespace KXL {

namespace {

// UTC, ISO-8601 with milliseconds: 2024-05-01T12:34:56.789Z
void appendTimestamp(std::string& out)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    char text[96]; // room for any int the compiler cannot rule out
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  now.tv_nsec / 1000000L);
    out += text;
}

// A message quotes file names and file contents: control, C1 and bidirectional characters
// would let it break the one-line-per-record layout, forge records or steer the terminal
// or collector that shows it, so it gets the printer's escaping.
void appendEscaped(std::string& out, const char* text)
{
    out += text == nullptr ? std::string("(null)") : escapeText(text);
}

// The printf-style message; a format the C library rejects is reported, not dropped.
std::string formatMessage(const char* format, va_list args)
{
    if (format == nullptr)
        return "(null format)";
    char small[512];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length < 0) {
        va_end(again);
        return std::string("(unformattable message: ") + format + ")";
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        va_end(again);
        return std::string(small, static_cast<std::size_t>(length));
    }
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&large[0], large.size(), format, again);
    va_end(again);
    large.resize(static_cast<std::size_t>(length));
    return large;
}

} // namespace

Logger::Logger(const char* module, const char* file, int line, const char* function,
               const char* prettyFunction)
    : m_module(module), m_file(file), m_line(line), m_function(function),
      m_prettyFunction(prettyFunction)
{
}

Logger::~Logger() = default;

void Logger::put(int level, const char* format, ...) const
{
    try {
        va_list args;
        va_start(args, format);
        std::string message;
        try {
            message = formatMessage(format, args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);

        std::string record;
        record.reserve(96 + message.size());
        appendTimestamp(record);
        record += ' ';
        record += std::to_string(level);
        record += ' ';
        appendEscaped(record, m_module);
        record += ' ';
        appendEscaped(record, m_file);
        record += ':';
        record += std::to_string(m_line);
        record += ' ';
        appendEscaped(record, m_function);
        record += ": ";
        appendEscaped(record, message.c_str());
        record += '\n';
        writeLogRecord(record.data(), record.size());
    } catch (...) {
        // Only allocation can fail here; say so without allocating.
        static const char lost[] = "log record lost: out of memory\n";
        writeLogRecord(lost, sizeof lost - 1);
    }
}

Logger Log2(const char* module, const char* file, int line, const char* function,
            const char* prettyFunction)
{
    return Logger(module, file, line, function, prettyFunction);
}

} // namespace KXL
