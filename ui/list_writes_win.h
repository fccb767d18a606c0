// The queue of tag-checked writes for the lists' threads: what
// QueueListItemTextsIfTagged and FlushQueuedListWrites (list_view_win.h) do
// when called from another thread than the list's.
#pragma once

#include "ui/list_view_win.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct QueuedWrite {
    HWND list;
    int32_t row;
    uint32_t tag;
    int32_t column;
    std::string text;
    bool withNext; // made in the same slice as the write after it
};

// Whether the calling thread owns the list.
bool IsListsThread(HWND list);

// On the list's thread, by the list layer: makes the writes whose rows still
// carry their tags.
void MakeListWrites(HWND list, const std::vector<QueuedWrite>& writes);

// Queues the cells' writes, together, from another thread.
void QueueListWrites(HWND list, int32_t row, uint32_t tag, const std::vector<CellText>& cells);

// On the list's thread: makes every write queued for it.
void MakeAllQueuedWrites(HWND list);

// Has the list's thread make the writes queued for it, a slice per request,
// until no more than leave wait. A list that is gone (its writes went with
// it) or that does not answer ends the wait.
void MakeQueuedWritesDownTo(HWND list, size_t leave);

// The queue's messages and timer on the list's thread; true when message
// was one of them (with its result in *result).
bool HandleQueueMessage(HWND list, UINT message, WPARAM wParam, LRESULT* result);

// A list that goes away: its writes go too.
void DropQueuedWrites(HWND list);
