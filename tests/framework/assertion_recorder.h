// Recording stand-ins for the host's Debug::check and abort, linked into the framework
// tests instead of libKXLCore: every check and every abort report is kept for inspection.
#ifndef TESTS_FRAMEWORK_ASSERTION_RECORDER_H
#define TESTS_FRAMEWORK_ASSERTION_RECORDER_H

#include <string>
#include <vector>

namespace framework_test {

struct AbortReport {
    std::string module;
    std::string file;
    int line;
    std::string function;
    std::string signature;
};

struct AssertionLog {
    // Counters, not a list: checking must not allocate (see no_allocation_test.cpp).
    int checks = 0;                   // conditions Debug::check received
    int falseChecks = 0;              // of which false
    std::vector<AbortReport> aborts;  // every abort, in order
    bool denyChecks = false;          // Debug::check answers false whatever it receives
};

// The log of the current test; cleared by resetAssertionLog.
AssertionLog& assertionLog();
void resetAssertionLog();

} // namespace framework_test

#endif
