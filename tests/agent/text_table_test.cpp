#include "agent/text_table.h"

#include <gtest/gtest.h>

namespace KXL {
namespace {

TEST(TextTable, ColumnsAreAlignedByTheirWidestCell)
{
    KXLTextTable table({{"id", KXLTextTable::Align::Right}, {"name"}, {"note"}});
    table.addRow({"1", "Realtek RTL8139", "x"});
    table.addRow({"1000", "VirtIO", "long note"});
    EXPECT_EQ(table.render("  "),
              "    id  name             note\n"
              "  ----  ---------------  ---------\n"
              "     1  Realtek RTL8139  x\n"
              "  1000  VirtIO           long note\n");
}

TEST(TextTable, WideCharactersCountTwoColumns)
{
    KXLTextTable table({{"name"}, {"code", KXLTextTable::Align::Right}});
    table.addRow({"日本", "1"});
    table.addRow({"abcde", "22"});
    EXPECT_EQ(table.render(""),
              "name   code\n"
              "-----  ----\n"
              "日本      1\n"
              "abcde    22\n");
}

TEST(TextTable, OnlyPaddingIsCutFromLineEnds)
{
    KXLTextTable table({{"name"}, {"text"}});
    table.addRow({"a", "ends in blanks  "});
    table.addRow({"longer", ""});
    EXPECT_EQ(table.render(""),
              "name    text\n"
              "------  ----------------\n"
              "a       ends in blanks  \n"
              "longer\n");
}

} // namespace
} // namespace KXL
