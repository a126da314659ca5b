#include "agent/text_table.h"

#include <stdexcept>

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

TEST(TextTable, CellsAreEscapedAndMeasuredEscaped)
{
    KXLTextTable table({{"a"}, {"b"}});
    table.addRow({"\x1b[2J", "x"});
    const std::string out = table.render("");
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(out,
              "a        b\n"
              "-------  -\n"
              "\\x1b[2J  x\n");
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

TEST(TextTable, RowWithWrongCellCountIsRejected)
{
    KXLTextTable table({{"a"}, {"b"}});
    EXPECT_THROW(table.addRow({"only one"}), std::invalid_argument);
    EXPECT_THROW(table.addRow({"1", "2", "3"}), std::invalid_argument);
    EXPECT_TRUE(table.empty());
}

} // namespace
} // namespace KXL
