// The host's logger: one record per Logger, written as one line to the agent's log.
#ifndef HOST_KXLLOG_H
#define HOST_KXLLOG_H

#include <string>

namespace KXL {

class Logger {
public:
    Logger(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction);
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // printf-style; formats the record once and writes one line.
    void put(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));

private:
    const char* m_module;
    const char* m_file;
    int m_line;
    const char* m_function;
    const char* m_prettyFunction;
};

Logger Log2(const char* module, const char* file, int line, const char* function,
            const char* prettyFunction);

// Host side: where records go. An empty path means standard error. Returns 0, or
// non-zero with the error text set when the file cannot be opened.
int setLogFile(const std::string& path);

} // namespace KXL

#endif
