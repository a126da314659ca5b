#include "assertion_recorder.h"

#include "host/KXLDebug.h"

namespace framework_test {

AssertionLog& assertionLog()
{
    static AssertionLog log;
    return log;
}

void resetAssertionLog()
{
    AssertionLog& log = assertionLog();
    log.checks = 0;
    log.falseChecks = 0;
    log.aborts.clear();
    log.denyChecks = false;
}

} // namespace framework_test

namespace KXL {

bool Debug::check(bool condition)
{
    framework_test::AssertionLog& log = framework_test::assertionLog();
    ++log.checks;
    if (!condition)
        ++log.falseChecks;
    return log.denyChecks ? false : condition;
}

// Returns, like the host's: the framework must carry on after it.
void abort(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction)
{
    framework_test::assertionLog().aborts.push_back(
        {module, file, line, function, prettyFunction});
}

} // namespace KXL
