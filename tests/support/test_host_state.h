// Shared state of the test host's pieces.
#ifndef TESTS_SUPPORT_TEST_HOST_STATE_H
#define TESTS_SUPPORT_TEST_HOST_STATE_H

#include <memory>
#include <string>

#include "test_host.h"

namespace test_host {

struct TreeNode {
    bool named = false;
    int tag = 0;
    std::string name;
    std::string value; // rendered: "text" quoted, ints bare
    std::vector<std::unique_ptr<TreeNode>> children;
    TreeNode* parent = nullptr;
};

struct State {
    Script script;
    std::vector<std::string> calls;
    std::vector<LogRecord> log;
    std::vector<AbortReport> aborts;
    TreeNode root;
    TreeNode* current = &root;
    std::string errorText;
    unsigned guidCounter = 0; // kept across scenarios: every GUID of the process differs
};

State& state();

// Records a call and answers the status the script gives it (else `fallback`); throws
// when the script says so.
int record(const std::string& call, int fallback = 0);

std::string quoted(const std::string& text);

} // namespace test_host

#endif
