#include "host/KXLDebug.h"

#include "host/KXLLog.h"

namespace KXL {

bool Debug::check(bool condition)
{
    return condition;
}

void abort(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction)
{
    // Level 0: above every ordinary report.
    Logger(module, file, line, function, prettyFunction)
        .put(0, "assertion failed in %s", prettyFunction != nullptr ? prettyFunction : "(null)");
}

} // namespace KXL
