#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "test_host_state.h"

namespace test_host {

State& state()
{
    static State instance;
    return instance;
}

void reset(const Script& script)
{
    State& s = state();
    s.script = script;
    s.calls.clear();
    s.log.clear();
    s.aborts.clear();
    s.root.children.clear();
    s.current = &s.root;
    s.errorText = script.errorText;
}

int record(const std::string& call, int fallback)
{
    State& s = state();
    s.calls.push_back(call);
    if (!s.script.throwAt.empty() && call == s.script.throwAt)
        throw std::runtime_error("injected at " + call);
    const auto found = s.script.statusOf.find(call);
    return found == s.script.statusOf.end() ? fallback : found->second;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

const std::vector<std::string>& calls()
{
    return state().calls;
}

const std::vector<LogRecord>& logRecords()
{
    return state().log;
}

const std::vector<AbortReport>& abortReports()
{
    return state().aborts;
}

namespace {

void render(const TreeNode& node, int depth, std::ostringstream& out)
{
    out << std::string(static_cast<size_t>(depth) * 2, ' ');
    if (node.named)
        out << node.name << " := " << node.value << '\n';
    else
        out << node.tag << (node.value.empty() ? "" : " = " + node.value) << '\n';
    for (const auto& child : node.children)
        render(*child, depth + 1, out);
}

} // namespace

std::string tree(const std::vector<int>& path)
{
    const TreeNode* node = &state().root;
    for (int tag : path) {
        const TreeNode* next = nullptr;
        for (const auto& child : node->children)
            if (!child->named && child->tag == tag) {
                next = child.get();
                break;
            }
        if (next == nullptr)
            return "<no element " + std::to_string(tag) + ">";
        node = next;
    }
    std::ostringstream out;
    for (const auto& child : node->children)
        render(*child, 0, out);
    return out.str();
}

} // namespace test_host
