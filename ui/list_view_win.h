// The report-style list view and its rows.
//
// A row is added from one text whose column texts are separated by line
// feeds; cells are read and written by row and column. Every row also carries
// a tag, a number that no other row of this process gets: it tells a row
// apart from a later row that happens to have the same index (after the list
// was cleared, say).
//
// The texts live in the program (list_rows.h), not in the list view: the
// view asks for a cell when it draws it or another process reads it
// (LVM_GETITEMTEXTA answers as from any list view), so a write to a row off
// screen costs the window no drawing, and a row a few hundred bytes.
//
// All operations may be called from any thread (see controls_win.h); each is
// carried out on the list's thread. Rows that do not exist read as "" and
// ignore writes.
#pragma once

#include "ui/list_rows.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Creates a list view with its first column. The flag word is a set of list
// view styles plus these: 4 lets several rows be selected (otherwise one),
// 0x10000 grid lines, 0x40000000 full-row selection, 0x10000000 header drag
// and drop, 1 check boxes.
HWND CreateListView(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                    const std::string& firstColumnTitle, int32_t firstColumnWidth, uint32_t flags);

// Adds a left-aligned column at position.
void AddListColumn(int32_t number, int32_t position, const std::string& title, int32_t width);

// Inserts a row at position (-1 appends) from "column 0\ncolumn 1\n...".
void AddListItem(int32_t number, int32_t position, const std::string& text);

// A cell's text, whole; "" for a missing row or column.
std::string GetListItemText(int32_t number, int32_t row, int32_t column);

// Replaces a cell's text; nothing happens for a missing row.
void SetListItemText(int32_t number, int32_t row, const std::string& text, int32_t column);

int32_t CountListItems(int32_t number);
void ClearListItems(int32_t number);

// For tests: when set, sees each cell text this layer writes (row, column,
// text), just before the list view gets it, on the list's thread.
extern std::atomic<void (*)(int32_t row, int32_t column, const std::string& text)> BeforeCellWrite;

// For tests: when set, called on the list's thread after each slice of
// queued writes has been made.
extern std::atomic<void (*)()> AfterQueuedWrites;

// For tests: when false, a queued write never takes the place of one still
// queued for its cell, so that every text queued is written.
extern std::atomic<bool> ReplaceQueuedWrites;

// For tests: how many queued writes the list's thread makes at most per
// slice (512), besides those queued together with the last one.
extern std::atomic<size_t> QueuedWriteSlice;

// The tag of a row; 0 for a missing row.
uint32_t GetListItemTag(int32_t number, int32_t row);

// Raised by every "Clear" of a list, before its rows go: whoever holds rows
// found earlier can tell that they may be gone.
extern std::atomic<uint32_t> ListsCleared;

// Looks for the rows, at or after from, whose cell in column reads exactly
// text, and reads the cell in readColumn of each: up to most rows, and no
// more once the texts read come to mostBytes (the first is always taken).
// from comes with fromTag, the tag of the row before it: when that row no
// longer carries it (the list was cleared meanwhile), the search starts at
// row 0 instead. A caller that keeps position and tagBefore of one search as
// from and fromTag of the next thus never reads a row twice, nor skips a row
// of a new list. The whole search runs at once on the thread that owns the
// list, so no change of the list comes between its reads.
ListBatch FindListItemTexts(int32_t number, int32_t column, const std::string& text, int32_t from,
                            uint32_t fromTag, int32_t readColumn, int32_t most, size_t mostBytes);

// Replaces a cell's text only if the row still carries tag, without waiting
// for the thread that owns the list: the write is queued, and made there
// soon after (within about 10 ms while writes keep coming), still only if the
// row carries tag then. The test and the write happen together on that
// thread, so no other change of the list can come between them. A write that
// follows one for the same cell, still queued, replaces it.
// Queued writes are made in the order they were queued, and all of them
// before that thread serves any later request of this layer (a read, a
// search, a write), so a caller's own writes never overtake each other and
// it reads what it wrote.
void QueueListItemTextIfTagged(int32_t number, int32_t row, uint32_t tag, const std::string& text,
                               int32_t column);

// A cell's new text.
struct CellText {
    int32_t column;
    std::string text;
};

// The same for several cells of a row, in the order given; they are made
// together, never some of them before the window serves anything else.
void QueueListItemTextsIfTagged(int32_t number, int32_t row, uint32_t tag,
                                const std::vector<CellText>& cells);

// Waits until the list's thread has made the writes queued for it so far,
// all but the last leave of them. It makes them a slice per request, and
// answers other messages between slices.
void FlushQueuedListWrites(int32_t number, size_t leave = 0);

// For tests: the queued writes not made yet, of every list.
size_t CountQueuedListWrites();
