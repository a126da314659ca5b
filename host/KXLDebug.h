// Assertion support of the host: the pass-through every assertion condition goes through,
// and the routine that handles a failed one.
#ifndef HOST_KXLDEBUG_H
#define HOST_KXLDEBUG_H

namespace KXL {

struct Debug {
    // Returns its argument; a single place where a debugger can watch every check.
    static bool check(bool condition);
};

// Writes the assertion report to the host's log and returns.
void abort(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction);

} // namespace KXL

#endif
