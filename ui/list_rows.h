// The rows of a list whose texts the program keeps itself: each row's cell
// texts and its tag, and the searches over them.
//
// The list view on screen holds no text: it asks for a cell's text when it
// draws the cell or another process reads it, and gets it from here. So a
// row costs the program one text of its cells, and a write to a row that is
// not on screen costs the window nothing more.
//
// A cell reads as "" when its row or column does not exist; writes to those
// change nothing. Texts end at their first zero byte, as the list view's do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A row found by a search, with the text of the cell that was read with it.
struct ListMatch {
    int32_t row;
    uint32_t tag;
    std::string text;
};

// What a search of the rows found, and where the next one goes on.
struct ListBatch {
    std::vector<ListMatch> rows; // in row order
    int32_t position;            // the row after the last one found, or the row count
    uint32_t tagBefore;          // the tag of the row before position; 0 at position 0
};

class ListRows {
  public:
    // The columns a row has; cells beyond them are neither kept nor read.
    void SetColumnCount(int32_t count) { columns_ = count < 1 ? 1 : count; }
    int32_t ColumnCount() const { return columns_; }

    int32_t Count() const { return static_cast<int32_t>(rows_.size()); }

    // Inserts a row from "column 0\ncolumn 1\n..." at position (-1, or a
    // position past the end, appends); returns the row it became.
    int32_t Insert(int32_t position, std::string_view text, uint32_t tag);

    std::string_view Cell(int32_t row, int32_t column) const;

    // False, and nothing changes, for a missing row or column.
    bool SetCell(int32_t row, int32_t column, std::string_view text);

    // 0 for a missing row.
    uint32_t Tag(int32_t row) const;

    void Clear() { std::vector<Row>().swap(rows_); }

    // The rows, at or after from, whose cell in column reads exactly text,
    // each with its cell in readColumn: up to most rows, and no more once
    // the texts read come to mostBytes (the first is always taken). from
    // comes with fromTag, the tag of the row before it: when that row no
    // longer carries it (the rows were cleared meanwhile), the search starts
    // at row 0 instead. A caller that keeps position and tagBefore of one
    // search as from and fromTag of the next thus never reads a row twice,
    // nor skips a row of a new list.
    ListBatch Find(int32_t column, std::string_view text, int32_t from, uint32_t fromTag,
                   int32_t readColumn, int32_t most, size_t mostBytes) const;

    // The first row from start on whose column 0 begins with prefix, ASCII
    // letter case ignored, going round to row 0 when wrap is set; -1 when
    // none does. (What a typed letter selects.)
    int32_t FindPrefix(std::string_view prefix, int32_t start, bool wrap) const;

  private:
    // The cells of a row, each ended by a zero byte but the last; a row
    // whose last cells are empty may leave them out.
    struct Row {
        std::string cells;
        uint32_t tag;
    };
    std::vector<Row> rows_;
    int32_t columns_ = 1;
};
