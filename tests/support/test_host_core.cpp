// Errors, logging, assertions and GUIDs of the test host.
#include <cstdarg>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "test_host_state.h"
#include "host/KXLDebug.h"
#include "host/KXLError.h"
#include "host/KXLGUIDBase.h"
#include "host/KXLLog.h"

namespace KXL {

const char* getErrorMessage()
{
    test_host::record("getErrorMessage()");
    test_host::State& s = test_host::state();
    return s.script.nullErrorText ? nullptr : s.errorText.c_str();
}

void setErrorMessage(const std::string& text)
{
    test_host::state().errorText = text;
}

Logger::Logger(const char* module, const char* file, int line, const char* function,
               const char* prettyFunction)
    : m_module(module), m_file(file), m_line(line), m_function(function),
      m_prettyFunction(prettyFunction)
{
}

Logger::~Logger()
{
    test_host::state().calls.push_back("~Logger()");
}

void Logger::put(int level, const char* format, ...) const
{
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    test_host::LogRecord record{m_module, m_file, m_line, m_function, m_prettyFunction,
                               level, format, buffer};
    test_host::state().log.push_back(record);
    test_host::record("put(" + std::to_string(level) + "," + test_host::quoted(buffer) + ")");
}

Logger Log2(const char* module, const char* file, int line, const char* function,
            const char* prettyFunction)
{
    test_host::record("Log2(" + std::string(function) + ")");
    return Logger(module, file, line, function, prettyFunction);
}

int setLogFile(const std::string&)
{
    return 0;
}

bool Debug::check(bool condition)
{
    return condition;
}

void abort(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction)
{
    test_host::state().aborts.push_back({module, file, line, function, prettyFunction});
    test_host::record("abort(" + std::to_string(line) + ")");
}

KXLGUIDBase::KXLGUIDBase() : m_bytes{}
{
    test_host::record("KXLGUIDBase()");
}

int KXLGUIDBase::generate()
{
    ++test_host::state().guidCounter;
    return test_host::record("generate()");
}

std::string KXLGUIDBase::toString() const
{
    test_host::record("toString()");
    const test_host::State& s = test_host::state();
    if (!s.script.guidCounts)
        return s.script.guid;
    std::ostringstream counted;
    counted << s.script.guid.substr(0, s.script.guid.size() - 4) << std::hex << std::setw(4)
            << std::setfill('0') << s.guidCounter;
    return counted.str();
}

} // namespace KXL
