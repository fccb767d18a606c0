// The rows a list keeps in the program: cells, tags and the searches.
#include "ui/list_rows.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Cells(const ListRows& rows, int32_t row) {
    std::vector<std::string> cells;
    for (int32_t c = 0; c < 4; ++c)
        cells.emplace_back(rows.Cell(row, c));
    return cells;
}

// Cells past the columns are neither kept nor read; texts end at a zero byte;
// a row's missing cells read empty and can be written; rows go where asked.
TEST(ListRows, CellsKeepTheirColumnsAndRowsTheirPlaces) {
    using Row4 = std::vector<std::string>;
    ListRows rows;
    rows.SetColumnCount(3);
    struct {
        int32_t position;
        std::string text;
        Row4 cells;
    } adds[] = {
        {-1, "a\n\nWaiting", {"a", "", "Waiting", ""}},
        {-1, "b\nc\nd\ne", {"b", "c", "d", ""}},
        {-1, std::string("z\0y\nq", 5), {"z", "q", "", ""}},
        {0, "first", {"first", "", "", ""}},
        {99, "", {"", "", "", ""}},
    };
    for (const auto& add : adds)
        rows.Insert(add.position, add.text, 7);
    ASSERT_EQ(5, rows.Count());
    const int32_t order[] = {1, 2, 3, 0, 4}; // where each add ended up
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(adds[i].cells, Cells(rows, order[i])) << i;

    EXPECT_TRUE(rows.SetCell(0, 2, std::string("37%\0x", 5)));
    EXPECT_TRUE(rows.SetCell(0, 1, "1A2B3C4D"));
    EXPECT_EQ((Row4{"first", "1A2B3C4D", "37%", ""}), Cells(rows, 0));
    EXPECT_TRUE(rows.SetCell(0, 1, ""));
    EXPECT_EQ((Row4{"first", "", "37%", ""}), Cells(rows, 0));
    for (auto [row, column] : {std::pair{5, 0}, {-1, 0}, {0, 3}, {0, -1}})
        EXPECT_FALSE(rows.SetCell(row, column, "x")) << row << "," << column;
    EXPECT_EQ(0u, rows.Tag(5));
    rows.Clear();
    EXPECT_EQ(0, rows.Count());
    EXPECT_EQ("", rows.Cell(0, 0));
}

// A typed prefix selects the next row from the one given whose name begins
// with it, in any letter case, going round when asked.
TEST(ListRows, APrefixFindsTheNextRowGoingRound) {
    ListRows rows;
    for (const char* name : {"Alpha", "beta", "alps", "Gamma"})
        rows.Insert(-1, name, 1);
    struct {
        const char* prefix;
        int32_t start;
        bool wrap;
        int32_t row;
    } cases[] = {
        {"al", 0, false, 0}, {"AL", 1, false, 2}, {"al", 3, false, -1}, {"al", 3, true, 0},
        {"b", 2, true, 1},   {"x", 0, true, -1},  {"", 2, false, 2},    {"gamma!", 0, true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.row, rows.FindPrefix(c.prefix, c.start, c.wrap))
            << c.prefix << " from " << c.start;
}

} // namespace
