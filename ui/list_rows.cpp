#include "ui/list_rows.h"

#include <utility>

namespace {

std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Where cell column of cells begins and how long it is; npos when the row
// holds fewer cells.
std::pair<size_t, size_t> CellSpan(const std::string& cells, int32_t column) {
    size_t start = 0;
    for (int32_t c = 0; c < column; ++c) {
        size_t end = cells.find('\0', start);
        if (end == std::string::npos)
            return {std::string::npos, 0};
        start = end + 1;
    }
    size_t end = cells.find('\0', start);
    return {start, (end == std::string::npos ? cells.size() : end) - start};
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BeginsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != LowerAscii(prefix[i]))
            return false;
    return true;
}

} // namespace

int32_t ListRows::Insert(int32_t position, std::string_view text, uint32_t tag) {
    Row row = {std::string(), tag};
    int32_t column = 0;
    for (size_t start = 0; column < columns_; ++column) {
        size_t feed = text.find('\n', start);
        if (column > 0)
            row.cells.push_back('\0');
        row.cells.append(UpToZero(feed == std::string_view::npos
                                      ? text.substr(start)
                                      : text.substr(start, feed - start)));
        if (feed == std::string_view::npos)
            break;
        start = feed + 1;
    }
    if (position < 0 || position > Count())
        position = Count();
    rows_.insert(rows_.begin() + position, std::move(row));
    return position;
}

std::string_view ListRows::Cell(int32_t row, int32_t column) const {
    if (row < 0 || row >= Count() || column < 0 || column >= columns_)
        return std::string_view();
    const std::string& cells = rows_[static_cast<size_t>(row)].cells;
    std::pair<size_t, size_t> span = CellSpan(cells, column);
    if (span.first == std::string::npos)
        return std::string_view();
    return std::string_view(cells).substr(span.first, span.second);
}

bool ListRows::SetCell(int32_t row, int32_t column, std::string_view text) {
    if (row < 0 || row >= Count() || column < 0 || column >= columns_)
        return false;
    std::string& cells = rows_[static_cast<size_t>(row)].cells;
    std::pair<size_t, size_t> span = CellSpan(cells, column);
    while (span.first == std::string::npos) { // the row grows its missing cells
        cells.push_back('\0');
        span = CellSpan(cells, column);
    }
    cells.replace(span.first, span.second, UpToZero(text));
    return true;
}

uint32_t ListRows::Tag(int32_t row) const {
    if (row < 0 || row >= Count())
        return 0;
    return rows_[static_cast<size_t>(row)].tag;
}

ListBatch ListRows::Find(int32_t column, std::string_view text, int32_t from, uint32_t fromTag,
                         int32_t readColumn, int32_t most, size_t mostBytes) const {
    int32_t count = Count();
    if (from < 0 || from > count || (from > 0 && Tag(from - 1) != fromTag))
        from = 0; // the rows before from are not the ones the caller knew
    ListBatch result = {{}, count, 0};
    size_t bytes = 0;
    for (int32_t row = from; row < count; ++row) {
        if (static_cast<int32_t>(result.rows.size()) >= most || bytes >= mostBytes) {
            result.position = row;
            break;
        }
        if (Cell(row, column) != text)
            continue;
        result.rows.push_back({row, Tag(row), std::string(Cell(row, readColumn))});
        bytes += result.rows.back().text.size();
    }
    if (result.position > 0)
        result.tagBefore = Tag(result.position - 1);
    return result;
}

int32_t ListRows::FindPrefix(std::string_view prefix, int32_t start, bool wrap) const {
    int32_t count = Count();
    if (start < 0 || start > count)
        start = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t row = start + i;
        if (row >= count) {
            if (!wrap)
                return -1;
            row -= count;
        }
        if (BeginsWithIgnoringCase(Cell(row, 0), prefix))
            return row;
    }
    return -1;
}
