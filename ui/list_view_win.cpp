#include "ui/list_view_win.h"

#include "ui/control_styles.h"
#include "ui/controls_win.h"
#include "ui/list_writes_win.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

std::atomic<void (*)(int32_t, int32_t, const std::string&)> BeforeCellWrite{nullptr};
std::atomic<void (*)()> AfterQueuedWrites{nullptr};
std::atomic<uint32_t> ListsCleared{0};

namespace {

// Handled by the layer's procedure of every list view: a request from
// another thread to be run on the list's thread (list_writes_win.h has the
// queue's own messages).
constexpr UINT kListRequest = WM_APP + 0x5356;

// A list's rows, and how many of them the list view knows of. Rows are added
// to the program's store at once; the view is told the new count before it
// answers anyone who reads it or acts on input, and otherwise on a timer
// (kCountTimer) kCountMs after the first add it has not been told of. Under
// Wine a new count costs the view 25 ms (it draws both scroll bars again),
// so files handed over one at a time, or dropped by the thousand, cost it a
// count every kCountMs at most, not one per file.
struct ListState {
    HWND list;
    ListRows rows;
    int32_t columns = 0;
    int32_t shown = 0;       // the count the view was last given
    bool redrawAll = false;  // a row went in before others: all shift down
    bool countTimer = false; // kCountTimer runs
};
constexpr UINT_PTR kCountTimer = 0x5359;
constexpr UINT kCountMs = 200;

// Every list view of the layer, each used only on its own thread; the lock
// guards the table, never a list's rows.
std::mutex g_statesLock;
std::vector<std::unique_ptr<ListState>> g_states;

ListState* StateOf(HWND list) {
    std::lock_guard<std::mutex> guard(g_statesLock);
    for (const auto& state : g_states)
        if (state->list == list)
            return state.get();
    return nullptr;
}

void ForgetState(HWND list) {
    std::lock_guard<std::mutex> guard(g_statesLock);
    g_states.erase(std::remove_if(g_states.begin(), g_states.end(),
                                  [list](const auto& state) { return state->list == list; }),
                   g_states.end());
}

// The requests waiting for the list's thread. The message carries a
// pointer, so it is acted on only when that pointer is one of ours and on its
// way: a forged message from another process finds nothing here and does
// nothing.
std::mutex g_inFlightLock;
std::vector<const std::function<void()>*> g_inFlight;

bool IsInFlight(const void* request) {
    std::lock_guard<std::mutex> guard(g_inFlightLock);
    return std::find(g_inFlight.begin(), g_inFlight.end(), request) != g_inFlight.end();
}

// Tells the view how many rows there are, when it does not know yet.
void ShowCount(HWND list, ListState* state, WNDPROC own) {
    if (state != nullptr && state->countTimer) {
        KillTimer(list, kCountTimer);
        state->countTimer = false;
    }
    if (state == nullptr || own == nullptr || state->shown == state->rows.Count())
        return;
    state->shown = state->rows.Count();
    CallControlClassProcedure(list, own, LVM_SETITEMCOUNT, static_cast<WPARAM>(state->shown),
                              LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (state->redrawAll)
        InvalidateRect(list, nullptr, TRUE);
    state->redrawAll = false;
}

// Whether the view must know every row before it handles the message: one
// that reads or changes items, and input, which may land on any row.
bool NeedsEveryRow(UINT message, WPARAM wParam) {
    return (message >= LVM_FIRST && message < LVM_FIRST + 0x100) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_KEYFIRST && message <= WM_KEYLAST) || message == WM_VSCROLL ||
           message == WM_HSCROLL || (message == WM_TIMER && wParam == kCountTimer);
}

// A message to the view itself. On the list's own thread it goes straight to
// the list view's own procedure, past the procedures that watch the list's
// messages (this layer's, which acts only on its own requests, and that of a
// tip which watches the mouse): under Wine each of them costs round trips to
// the server per message. With showCount, the view first learns of every row.
LRESULT ToListView(HWND list, UINT message, WPARAM wParam, LPARAM lParam, bool showCount = true) {
    WNDPROC own = ControlClassProcedure(list);
    if (own == nullptr || !IsListsThread(list))
        return SendMessageA(list, message, wParam, lParam);
    if (showCount)
        ShowCount(list, StateOf(list), own);
    return CallControlClassProcedure(list, own, message, wParam, lParam);
}

// Runs task on the list's thread, after the writes queued for the list; the
// caller waits. Nothing runs when the list is gone.
void OnList(HWND list, const std::function<void(ListState&)>& task) {
    if (IsListsThread(list)) {
        MakeAllQueuedWrites(list);
        if (ListState* state = StateOf(list))
            task(*state);
        return;
    }
    std::function<void()> request = [list, &task] { OnList(list, task); };
    {
        std::lock_guard<std::mutex> guard(g_inFlightLock);
        g_inFlight.push_back(&request);
    }
    SendMessageA(list, kListRequest, 0, reinterpret_cast<LPARAM>(&request));
    std::lock_guard<std::mutex> guard(g_inFlightLock);
    g_inFlight.erase(std::find(g_inFlight.begin(), g_inFlight.end(), &request));
}

std::atomic<uint32_t> g_lastTag{0};

uint32_t NewTag() {
    uint32_t tag = ++g_lastTag;
    while (tag == 0) // 0 means "no row"; skip it when the count wraps
        tag = ++g_lastTag;
    return tag;
}

// The rows of the view that are on screen, first and last.
struct Visible {
    int32_t first;
    int32_t last;
};

Visible VisibleRows(HWND list) {
    auto top = static_cast<int32_t>(ToListView(list, LVM_GETTOPINDEX, 0, 0, false));
    auto page = static_cast<int32_t>(ToListView(list, LVM_GETCOUNTPERPAGE, 0, 0, false));
    return {top, top + page}; // and the row cut off at the bottom
}

// Has the rows from first to last drawn again, where they are on screen.
void RedrawRows(HWND list, Visible visible, int32_t first, int32_t last) {
    first = std::max(first, visible.first);
    last = std::min(last, visible.last);
    if (first > last)
        return;
    RECT top = {LVIR_BOUNDS, 0, 0, 0};
    RECT bottom = {LVIR_BOUNDS, 0, 0, 0};
    if (!ToListView(list, LVM_GETITEMRECT, static_cast<WPARAM>(first),
                    reinterpret_cast<LPARAM>(&top), false) ||
        !ToListView(list, LVM_GETITEMRECT, static_cast<WPARAM>(last),
                    reinterpret_cast<LPARAM>(&bottom), false))
        return;
    UnionRect(&top, &top, &bottom);
    InvalidateRect(list, &top, TRUE);
}

bool WriteCell(ListState& state, int32_t row, int32_t column, const std::string& text) {
    if (row < 0 || row >= state.rows.Count() || column < 0 || column >= state.rows.ColumnCount())
        return false;
    if (void (*hook)(int32_t, int32_t, const std::string&) = BeforeCellWrite.load())
        hook(row, column, text);
    return state.rows.SetCell(row, column, text);
}

void ListAddColumn(HWND list, int32_t position, const std::string& title, int32_t width) {
    OnList(list, [&](ListState& state) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = width;
        column.pszText = const_cast<char*>(title.c_str());
        column.iSubItem = position;
        if (SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(position),
                         reinterpret_cast<LPARAM>(&column)) >= 0)
            state.rows.SetColumnCount(++state.columns);
    });
}

void ListAddItem(HWND list, int32_t position, const std::string& text) {
    OnList(list, [&](ListState& state) {
        if (position >= 0 && position < state.rows.Count())
            state.redrawAll = true;
        state.rows.Insert(position, text, NewTag());
        if (!state.countTimer)
            state.countTimer = SetTimer(list, kCountTimer, kCountMs, nullptr) != 0;
    });
}

std::string ListGetItemText(HWND list, int32_t row, int32_t column) {
    std::string text;
    OnList(list, [&](ListState& state) { text = state.rows.Cell(row, column); });
    return text;
}

void ListSetItemText(HWND list, int32_t row, const std::string& text, int32_t column) {
    OnList(list, [&](ListState& state) {
        if (WriteCell(state, row, column, text))
            RedrawRows(list, VisibleRows(list), row, row);
    });
}

int32_t ListSelectedIndex(HWND list) {
    int32_t row = -1;
    OnList(list, [&](ListState&) {
        row = static_cast<int32_t>(
            ToListView(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    });
    return row;
}

int32_t ListCount(HWND list) {
    int32_t count = 0;
    OnList(list, [&](ListState& state) { count = state.rows.Count(); });
    return count;
}

void ListClear(HWND list) {
    OnList(list, [&](ListState& state) {
        ListsCleared.fetch_add(1);
        state.rows.Clear();
        state.shown = 0;
        state.redrawAll = false;
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    });
}

uint32_t ListGetItemTag(HWND list, int32_t row) {
    uint32_t tag = 0;
    OnList(list, [&](ListState& state) { tag = state.rows.Tag(row); });
    return tag;
}

ListBatch ListFindItemTexts(HWND list, int32_t column, const std::string& text, int32_t from,
                            uint32_t fromTag, int32_t readColumn, int32_t most, size_t mostBytes) {
    ListBatch found = {{}, 0, 0};
    OnList(list, [&](ListState& state) {
        found = state.rows.Find(column, text, from, fromTag, readColumn, most, mostBytes);
    });
    return found;
}

void ListQueueItemTextsIfTagged(HWND list, int32_t row, uint32_t tag,
                                const std::vector<CellText>& cells) {
    if (tag == 0 || cells.empty())
        return;
    if (!IsListsThread(list)) {
        QueueListWrites(list, row, tag, cells);
        return;
    }
    MakeAllQueuedWrites(list);
    std::vector<QueuedWrite> writes;
    for (const CellText& cell : cells)
        writes.push_back({list, row, tag, cell.column, cell.text, false});
    MakeListWrites(list, writes);
}

// Copies a cell's text into a buffer of capacity bytes (at least 1), cut to
// fit and ended by a zero byte, as the view copies its own; returns the
// bytes copied.
size_t CopyCell(const ListRows& rows, int32_t row, int32_t column, char* buffer, int capacity) {
    std::string_view text = rows.Cell(row, column);
    size_t size = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    memcpy(buffer, text.data(), size);
    buffer[size] = '\0';
    return size;
}

// The view's questions to its parent, which the parent's procedure passes
// on: a cell's text, and the row a typed prefix selects. Asked only by the
// view itself, on its thread.
bool ListAnswerNotify(HWND list, const NMHDR* header, LRESULT* result) {
    ListState* state = StateOf(list);
    if (state == nullptr)
        return false;
    if (header->code == LVN_GETDISPINFOA) {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header))->item;
        if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
            CopyCell(state->rows, item.iItem, item.iSubItem, item.pszText, item.cchTextMax);
        }
        *result = 0;
        return true;
    }
    if (header->code == LVN_ODFINDITEMA) {
        const LVFINDINFOA& find = reinterpret_cast<const NMLVFINDITEMA*>(header)->lvfi;
        *result = -1;
        if ((find.flags & (LVFI_STRING | LVFI_PARTIAL)) != 0 && find.psz != nullptr)
            *result = state->rows.FindPrefix(find.psz,
                                             reinterpret_cast<const NMLVFINDITEMA*>(header)->iStart,
                                             (find.flags & LVFI_WRAP) != 0);
        return true;
    }
    return false;
}

// Whether size bytes at address are memory of this process that may be
// written: a reader's message from another process carries a pointer.
bool IsWritableMemory(const void* address, size_t size) {
    auto at = reinterpret_cast<uintptr_t>(address);
    while (size > 0) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0 ||
            info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) != 0 ||
            (info.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) == 0)
            return false;
        uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        size_t here = std::min<uintptr_t>(end - at, size);
        at += here;
        size -= here;
    }
    return true;
}

// The row count and a cell's text, answered from the rows without the view,
// as the view would answer them: a reader that looks every few milliseconds
// (another process watching the list fill) would otherwise make the view
// take each new count, which costs it 25 ms under Wine.
bool AnswerReader(HWND list, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != LVM_GETITEMCOUNT && message != LVM_GETITEMTEXTA)
        return false;
    ListState* state = StateOf(list);
    if (state == nullptr)
        return false;
    *result = 0;
    if (message == LVM_GETITEMCOUNT) {
        *result = state->rows.Count();
        return true;
    }
    auto* item = reinterpret_cast<LVITEMA*>(lParam);
    if (item == nullptr || !IsWritableMemory(item, sizeof *item) || item->pszText == nullptr ||
        item->cchTextMax <= 0 ||
        !IsWritableMemory(item->pszText, static_cast<size_t>(item->cchTextMax)))
        return true;
    *result = static_cast<LRESULT>(CopyCell(state->rows, static_cast<int32_t>(wParam),
                                            item->iSubItem, item->pszText, item->cchTextMax));
    return true;
}

bool ListFilterMessage(HWND list, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_NCDESTROY) { // a list that goes away drops its writes
        DropQueuedWrites(list);
        ForgetState(list);
        return false;
    }
    if (AnswerReader(list, message, wParam, lParam, result))
        return true;
    if (NeedsEveryRow(message, wParam))
        ShowCount(list, StateOf(list), ControlClassProcedure(list));
    if (message == WM_TIMER && wParam == kCountTimer)
        return true;
    if (HandleQueueMessage(list, message, wParam, result))
        return true;
    if (message != kListRequest)
        return false;
    *result = 0;
    const auto* request = reinterpret_cast<const std::function<void()>*>(lParam);
    if (IsInFlight(request))
        (*request)();
    return true;
}

const ControlOperations kListViewOperations = {
    ListSelectedIndex,
    ListAddColumn,
    ListAddItem,
    ListGetItemText,
    ListSetItemText,
    ListCount,
    ListClear,
    ListGetItemTag,
    ListQueueItemTextsIfTagged,
    ListFindItemTexts,
    MakeQueuedWritesDownTo,
    ListFilterMessage,
    ListAnswerNotify,
    true,
};

} // namespace

// On the list's thread: the writes whose rows still carry their tags, then
// one redraw of the rows on screen that changed.
void MakeListWrites(HWND list, const std::vector<QueuedWrite>& writes) {
    ListState* state = StateOf(list);
    if (state == nullptr || writes.empty())
        return;
    Visible visible = VisibleRows(list);
    int32_t first = INT32_MAX;
    int32_t last = -1;
    for (const QueuedWrite& write : writes) {
        if (state->rows.Tag(write.row) != write.tag ||
            !WriteCell(*state, write.row, write.column, write.text))
            continue;
        if (write.row >= visible.first && write.row <= visible.last) {
            first = std::min(first, write.row);
            last = std::max(last, write.row);
        }
    }
    RedrawRows(list, visible, first, last);
    if (void (*hook)() = AfterQueuedWrites.load())
        hook();
}

HWND CreateListView(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                    const std::string& firstColumnTitle, int32_t firstColumnWidth, uint32_t flags) {
    ListViewStyle s = DecodeListViewFlags(flags);
    HWND list = CreateControl(number, WC_LISTVIEWA, s.style | LVS_OWNERDATA, s.exStyle,
                              std::string(), x, y, width, height, &kListViewOperations);
    if (list == nullptr)
        return nullptr;
    {
        auto state = std::make_unique<ListState>();
        state->list = list;
        std::lock_guard<std::mutex> guard(g_statesLock);
        g_states.push_back(std::move(state));
    }
    if (s.extendedLvStyle != 0)
        SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, s.extendedLvStyle, s.extendedLvStyle);
    AddListColumn(number, 0, firstColumnTitle, firstColumnWidth);
    return list;
}

void AddListColumn(int32_t number, int32_t position, const std::string& title, int32_t width) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->addColumn != nullptr)
        ref.operations->addColumn(ref.control, position, title, width);
}

void AddListItem(int32_t number, int32_t position, const std::string& text) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->addItem != nullptr)
        ref.operations->addItem(ref.control, position, text);
}

std::string GetListItemText(int32_t number, int32_t row, int32_t column) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->getItemText == nullptr)
        return std::string();
    return ref.operations->getItemText(ref.control, row, column);
}

void SetListItemText(int32_t number, int32_t row, const std::string& text, int32_t column) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->setItemText != nullptr)
        ref.operations->setItemText(ref.control, row, text, column);
}

int32_t CountListItems(int32_t number) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->countItems == nullptr)
        return 0;
    return ref.operations->countItems(ref.control);
}

void ClearListItems(int32_t number) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->clearItems != nullptr)
        ref.operations->clearItems(ref.control);
}

uint32_t GetListItemTag(int32_t number, int32_t row) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->getItemTag == nullptr)
        return 0;
    return ref.operations->getItemTag(ref.control, row);
}

void QueueListItemTextIfTagged(int32_t number, int32_t row, uint32_t tag, const std::string& text,
                               int32_t column) {
    QueueListItemTextsIfTagged(number, row, tag, {{column, text}});
}

void QueueListItemTextsIfTagged(int32_t number, int32_t row, uint32_t tag,
                                const std::vector<CellText>& cells) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->queueItemTextsIfTagged != nullptr)
        ref.operations->queueItemTextsIfTagged(ref.control, row, tag, cells);
}

ListBatch FindListItemTexts(int32_t number, int32_t column, const std::string& text, int32_t from,
                            uint32_t fromTag, int32_t readColumn, int32_t most, size_t mostBytes) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->findItemTexts == nullptr || most <= 0)
        return {{}, 0, 0};
    return ref.operations->findItemTexts(ref.control, column, text, from, fromTag, readColumn, most,
                                         mostBytes);
}

void FlushQueuedListWrites(int32_t number, size_t leave) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->makeQueuedWrites != nullptr)
        ref.operations->makeQueuedWrites(ref.control, leave);
}
