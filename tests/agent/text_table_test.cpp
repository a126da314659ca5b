#include "agent/output/text_table.h"

#include <sstream>

#include <gtest/gtest.h>

namespace KXL {
namespace {

// Both passes, as the printer makes them: every row measured, then every row printed.
std::string render(TextTable table, const std::vector<TextTable::Cells>& rows, std::string_view indent)
{
    for (const auto& row : rows)
        table.measure(row);
    std::ostringstream stream;
    {
        TextOut out(stream);
        table.printHead(out, indent);
        for (const auto& row : rows)
            table.printRow(out, indent, row);
    }
    return stream.str();
}

TEST(TextTable, ColumnsAreAlignedByTheirWidestCell)
{
    TextTable table({{"id", TextTable::Align::Right}, {"name"}, {"note"}});
    EXPECT_EQ(render(table, {{"1", "Realtek RTL8139", "x"}, {"1000", "VirtIO", "long note"}}, "  "),
              "    id  name             note\n"
              "  ----  ---------------  ---------\n"
              "     1  Realtek RTL8139  x\n"
              "  1000  VirtIO           long note\n");
}

TEST(TextTable, WideCharactersCountTwoColumns)
{
    TextTable table({{"name"}, {"code", TextTable::Align::Right}});
    EXPECT_EQ(render(table, {{"日本", "1"}, {"abcde", "22"}}, ""),
              "name   code\n"
              "-----  ----\n"
              "日本      1\n"
              "abcde    22\n");
}

TEST(TextTable, OnlyPaddingIsCutFromLineEnds)
{
    TextTable table({{"name"}, {"text"}});
    EXPECT_EQ(render(table, {{"a", "ends in blanks  "}, {"longer", ""}}, ""),
              "name    text\n"
              "------  ----------------\n"
              "a       ends in blanks  \n"
              "longer\n");
}

TEST(TextTable, CellsAndPaddingLargerThanTheBufferKeepTheirPlace)
{
    const std::string huge(std::size_t{3} << 20, 'h');
    TextTable table({{"a"}, {"b"}});
    const std::string expected = "a" + std::string(huge.size() - 1, ' ') + "  b\n" +
        std::string(huge.size(), '-') + "  -\n" + huge + "  1\n" + "x" + std::string(huge.size() - 1, ' ') + "  2\n";
    EXPECT_TRUE(render(table, {{huge, "1"}, {"x", "2"}}, "") == expected); // not printed when wrong: 12 MB
}

} // namespace
} // namespace KXL
