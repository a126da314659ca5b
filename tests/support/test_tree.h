// Expected message trees for tests, built straight into the real tree: a test compares
// with the tree's own equality, and failures print the tree through PrintTo below.
//
//     const KXL::KXLDocument expected = kxltest::document({
//         element(1307, {element(1044, {text(1264, "experimental"), number(1010, 7)})})});
#ifndef TESTS_SUPPORT_TEST_TREE_H
#define TESTS_SUPPORT_TEST_TREE_H

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/KXLMessageTree.h"

namespace kxltest {

// Appends one node, and what it holds, as the last child of `parent`.
using Build = std::function<void(KXL::KXLDocument& document, KXL::KXLDocument::NodeId parent)>;

Build element(int tag, std::vector<Build> children = {});
Build element(int tag, KXL::KXLStamps stamps, std::vector<Build> children = {});
Build text(int tag, std::string value, std::vector<Build> children = {});
Build number(int tag, int value, std::vector<Build> children = {});
Build named(std::string name, int value);

KXL::KXLDocument document(const std::vector<Build>& roots, int kind = 0);

// One node a line, two spaces a level: "1017", "1010 = 3", "1264 = \"text\"",
// "min_hdd_size := 100"; stamps, when an element has any, in braces after it.
std::string render(KXL::KXLNodeRef node);
std::string render(KXL::KXLNodeRef::Children nodes);

} // namespace kxltest

namespace KXL {

// GoogleTest's printer for documents (found by argument-dependent lookup).
void PrintTo(const KXLDocument& document, std::ostream* out);

} // namespace KXL

#endif
