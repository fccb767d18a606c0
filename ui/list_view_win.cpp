#include "ui/list_view_win.h"

#include "ui/control_styles.h"
#include "ui/controls_win.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

std::atomic<void (*)(int32_t, int32_t, const std::string&)> BeforeCellWrite{nullptr};
std::atomic<bool> ReplaceQueuedWrites{true};
std::atomic<uint32_t> ListsCleared{0};

namespace {

// The buffer a cell text is first read into, and the largest it grows to
// for a longer one (a name, " > " and a path of 32767 UTF-16 units in UTF-8).
constexpr int kCellBuffer = 10000;
constexpr int kLongestCellText = 1 << 18;

// Handled by the layer's procedure of every list view: a tag-checked write,
// a search for a cell text, and "make the queued writes" (posted, or sent
// with kSliceRequest to have one slice made before the answer).
constexpr UINT kSetTextIfTagged = WM_APP + 0x5356;
constexpr UINT kFindText = WM_APP + 0x5357;
constexpr UINT kMakeQueuedWrites = WM_APP + 0x5358;
constexpr WPARAM kSliceRequest = 1;

struct TaggedWrite {
    int32_t row;
    uint32_t tag;
    const std::vector<CellText>* cells;
};

struct TextSearch {
    int32_t column;
    const std::string* text;
    int32_t from;
    uint32_t fromTag;
    int32_t readColumn;
    int32_t most;
    size_t mostBytes;
    ListBatch result;
};

// The requests waiting for the list's thread, each with its message. The
// message carries a pointer, so it is acted on only when that pointer is one
// of ours and was sent with that message: a forged message from another
// process finds nothing here and does nothing, and no request is ever read as
// one of another kind.
struct InFlight {
    UINT message;
    const void* request;
    bool operator==(const InFlight& other) const {
        return message == other.message && request == other.request;
    }
};
std::mutex g_inFlightLock;
std::vector<InFlight> g_inFlight;

// Tag-checked writes queued for the lists' threads, in the order they were
// queued. A list takes all of its writes at once before it handles a
// tag-checked write (so a caller's queued writes come before its next one),
// and otherwise up to kSlice of them when a kMakeQueuedWrites message comes
// or its pacing timer goes off. The first write queued for a list posts that
// message, unless one is on its way or the list is paced: after taking writes
// that way, a list takes the next ones on its timer, kPaceMs later, and only
// when a tick finds none queued does the next write post again. So a file
// read at several GB/s, with a percentage every few milliseconds, wakes the
// window about every kPaceMs, not at each one; and many small files, three
// writes each, cost the window a message per few dozen files. A slice that
// leaves writes behind posts the message again, so input and painting get
// their turn between slices however many writes wait.
//
// A write for the same cell of the same row as the last one queued, while
// that one still waits, takes its place: the worker's "0%" for a small file
// is followed at once by the verdict, and a window that is behind need not
// show every percentage of a large file. That saves the window a third of
// its writes through many small files.
//
// A thread that waits for the writes (FlushQueuedListWrites) has them made a
// slice per request, so that the list's thread answers other messages
// between slices: one request for all of them kept the window from its
// messages for 60 ms with 2,400 writes behind, and for over a second on a
// slower machine.
struct QueuedWrite {
    HWND list;
    int32_t row;
    uint32_t tag;
    int32_t column;
    std::string text;
};
constexpr UINT_PTR kPaceTimer = 0x5358;
constexpr UINT kPaceMs = 10;
constexpr size_t kSlice = 64;
std::mutex g_queueLock;
std::deque<QueuedWrite> g_queue;
std::vector<HWND> g_paced;  // lists whose pacing timer runs
std::vector<HWND> g_posted; // lists with a kMakeQueuedWrites message on its way

bool IsInFlight(UINT message, const void* request) {
    std::lock_guard<std::mutex> guard(g_inFlightLock);
    return std::find(g_inFlight.begin(), g_inFlight.end(), InFlight{message, request}) !=
           g_inFlight.end();
}

// Sends a request to the list's thread (or handles it at once on that
// thread), known as in flight while it is on its way.
LRESULT SendRequest(HWND list, UINT message, const void* request) {
    {
        std::lock_guard<std::mutex> guard(g_inFlightLock);
        g_inFlight.push_back({message, request});
    }
    LRESULT result = SendMessageA(list, message, 0, reinterpret_cast<LPARAM>(request));
    {
        std::lock_guard<std::mutex> guard(g_inFlightLock);
        g_inFlight.erase(
            std::find(g_inFlight.begin(), g_inFlight.end(), InFlight{message, request}));
    }
    return result;
}

bool IsListsThread(HWND list) {
    return GetWindowThreadProcessId(list, nullptr) == GetCurrentThreadId();
}

// A message that reads the list or sets an item's text. On the list's own
// thread it goes straight to the list view's own procedure, past the
// procedures that watch the list's messages (this layer's, which acts only on
// its own requests, and that of a tip which watches the mouse): they have
// nothing to do with the items, and under Wine each of them costs round trips
// to the server per message. A worker's file costs the window thread two
// writes, so that was a third of its pace through many small files. Adding,
// removing and columns always go the whole way.
LRESULT ToListView(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC own = ControlClassProcedure(list);
    if (own != nullptr && IsListsThread(list))
        return CallWindowProcA(own, list, message, wParam, lParam);
    return SendMessageA(list, message, wParam, lParam);
}

std::atomic<uint32_t> g_lastTag{0};

uint32_t NewTag() {
    uint32_t tag = ++g_lastTag;
    while (tag == 0) // 0 means "no row"; skip it when the count wraps
        tag = ++g_lastTag;
    return tag;
}

void ListAddColumn(HWND list, int32_t position, const std::string& title, int32_t width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(title.c_str());
    column.iSubItem = position;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(&column));
}

void ListAddItem(HWND list, int32_t position, const std::string& text) {
    if (position == -1)
        position = static_cast<int32_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::string> columns = SplitColumnTexts(text);
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = position;
    item.pszText = const_cast<char*>(columns[0].c_str());
    item.lParam = static_cast<LPARAM>(NewTag());
    // The other columns go to the row the list actually made, which is the
    // given position unless that lay beyond the end.
    auto row =
        static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return;
    for (size_t c = 1; c < columns.size(); ++c) {
        LVITEMA cell = {};
        cell.iSubItem = static_cast<int>(c);
        cell.pszText = const_cast<char*>(columns[c].c_str());
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&cell));
    }
}

std::string ListGetItemText(HWND list, int32_t row, int32_t column) {
    if (row < 0 || column < 0)
        return std::string();
    // LVM_GETITEMTEXTA always copies into our buffer (LVM_GETITEMA may instead
    // point at the list's own storage), and never more than cchTextMax - 1
    // characters plus the terminator. A text that fills the buffer may have
    // been cut, so it is read again into a larger one: a path may be as long
    // as the system allows, 32767 UTF-16 units, up to three bytes each.
    for (int size = kCellBuffer;; size *= 2) {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = size;
        LRESULT copied = ToListView(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(&item));
        buffer.back() = '\0';
        if (copied < size - 1 || size >= kLongestCellText)
            return std::string(buffer.data());
    }
}

void ListSetItemText(HWND list, int32_t row, const std::string& text, int32_t column) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    item.cchTextMax = static_cast<int>(text.size());
    if (void (*hook)(int32_t, int32_t, const std::string&) = BeforeCellWrite.load())
        hook(row, column, text);
    ToListView(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int32_t ListSelectedIndex(HWND list) {
    return static_cast<int32_t>(
        ToListView(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int32_t ListCount(HWND list) {
    return static_cast<int32_t>(ToListView(list, LVM_GETITEMCOUNT, 0, 0));
}

void ListClear(HWND list) {
    ListsCleared.fetch_add(1);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
}

uint32_t ListGetItemTag(HWND list, int32_t row) {
    if (row < 0)
        return 0;
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ToListView(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<uint32_t>(item.lParam);
}

bool ListSetItemTextsIfTagged(HWND list, int32_t row, uint32_t tag,
                              const std::vector<CellText>& cells) {
    TaggedWrite write = {row, tag, &cells};
    return SendRequest(list, kSetTextIfTagged, &write) == 1;
}

void Forget(std::vector<HWND>* lists, HWND list) {
    lists->erase(std::remove(lists->begin(), lists->end(), list), lists->end());
}

bool Holds(const std::vector<HWND>& lists, HWND list) {
    return std::find(lists.begin(), lists.end(), list) != lists.end();
}

// On the list's thread: takes up to most of the writes queued for it, in
// order; those of other lists stay queued. *more tells whether some of its
// own stay too. When none was queued and unpace is set, the list is no
// longer paced (in the same step, so a write queued right after posts).
// A slice sent for leaves the posted message's entry alone.
std::vector<QueuedWrite> TakeQueuedWrites(HWND list, bool unpace, size_t most, bool* more,
                                          bool answersPost = true) {
    std::vector<QueuedWrite> writes;
    *more = false;
    std::lock_guard<std::mutex> guard(g_queueLock);
    if (answersPost)
        Forget(&g_posted, list);
    for (auto it = g_queue.begin(); it != g_queue.end();) {
        if (it->list != list) {
            ++it;
        } else if (writes.size() == most) {
            *more = true;
            break;
        } else {
            writes.push_back(std::move(*it));
            it = g_queue.erase(it);
        }
    }
    if (writes.empty() && unpace)
        Forget(&g_paced, list);
    return writes;
}

// On the list's thread: the writes whose rows still carry their tags.
//
// Each write invalidates just its row, which costs a round trip to the
// server under Wine. Turning the list's drawing off for a slice and on again
// (WM_SETREDRAW) made the writes cheaper, but the list then draws all of
// itself after every slice: with 5,000 files dropped, a message to the
// window waited 17 ms in the median instead of 1.
void MakeWrites(HWND list, const std::vector<QueuedWrite>& writes) {
    for (const QueuedWrite& write : writes)
        if (ListGetItemTag(list, write.row) == write.tag)
            ListSetItemText(list, write.row, write.text, write.column);
}

void MakeQueuedWrites(HWND list) {
    bool more = false;
    MakeWrites(list, TakeQueuedWrites(list, false, SIZE_MAX, &more));
}

// The list's message, or its pacing timer: takes a slice of the queued
// writes, and paces the list from then on while there are any.
void MakeQueuedWritesPaced(HWND list, bool onTimer) {
    bool more = false;
    std::vector<QueuedWrite> writes = TakeQueuedWrites(list, onTimer, kSlice, &more);
    if (writes.empty()) {
        if (onTimer)
            KillTimer(list, kPaceTimer);
        return;
    }
    if (!onTimer && SetTimer(list, kPaceTimer, kPaceMs, nullptr) != 0) {
        std::lock_guard<std::mutex> guard(g_queueLock);
        if (!Holds(g_paced, list))
            g_paced.push_back(list);
    }
    MakeWrites(list, writes);
    if (!more)
        return;
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        if (Holds(g_posted, list))
            return;
        g_posted.push_back(list);
    }
    if (!PostMessageA(list, kMakeQueuedWrites, 0, 0)) {
        std::lock_guard<std::mutex> guard(g_queueLock);
        Forget(&g_posted, list); // the timer takes them
    }
}

void ListQueueItemTextIfTagged(HWND list, int32_t row, uint32_t tag, const std::string& text,
                               int32_t column) {
    if (tag == 0)
        return;
    if (IsListsThread(list)) {
        MakeQueuedWrites(list);
        MakeWrites(list, {{list, row, tag, column, text}});
        return;
    }
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        // Whatever takes the write it replaces (a message on its way, the
        // pacing timer or a flush) takes this text instead.
        if (ReplaceQueuedWrites.load() && !g_queue.empty()) {
            QueuedWrite& last = g_queue.back();
            if (last.list == list && last.row == row && last.tag == tag && last.column == column) {
                last.text = text;
                return;
            }
        }
        g_queue.push_back({list, row, tag, column, text});
        post = !Holds(g_posted, list) && !Holds(g_paced, list);
        if (post)
            g_posted.push_back(list);
    }
    // A list whose message queue is full (or that is gone) gets its writes
    // sent instead.
    if (post && !PostMessageA(list, kMakeQueuedWrites, 0, 0))
        SendMessageA(list, kMakeQueuedWrites, 0, 0);
}

// Has the list's thread make the writes queued for it, a slice per request,
// until no more than leave wait. A list that is gone (its writes went with
// it) or that does not answer ends the wait.
void ListMakeQueuedWrites(HWND list, size_t leave) {
    auto waiting = [list] {
        std::lock_guard<std::mutex> guard(g_queueLock);
        return static_cast<size_t>(
            std::count_if(g_queue.begin(), g_queue.end(),
                          [list](const QueuedWrite& w) { return w.list == list; }));
    };
    if (IsListsThread(list)) {
        if (waiting() > leave)
            MakeQueuedWrites(list);
        return;
    }
    while (waiting() > leave)
        if (SendMessageA(list, kMakeQueuedWrites, kSliceRequest, 0) != 1)
            return;
}

ListBatch ListFindItemTexts(HWND list, int32_t column, const std::string& text, int32_t from,
                            uint32_t fromTag, int32_t readColumn, int32_t most, size_t mostBytes) {
    TextSearch search = {column, &text, from, fromTag, readColumn, most, mostBytes, {{}, 0, 0}};
    SendRequest(list, kFindText, &search);
    return search.result;
}

// On the list's thread. Each cell is read into a buffer two bytes longer
// than the text, so a longer cell can never pass for it.
void FindTexts(HWND list, TextSearch* search) {
    int32_t count = ListCount(list);
    int32_t from = search->from;
    if (from < 0 || from > count || (from > 0 && ListGetItemTag(list, from - 1) != search->fromTag))
        from = 0; // the rows before from are not the ones the caller knew
    const std::string& text = *search->text;
    std::vector<char> buffer(text.size() + 2, '\0');
    ListBatch& result = search->result;
    result = {{}, count, 0};
    size_t bytes = 0;
    for (int32_t row = from; row < count; ++row) {
        if (static_cast<int32_t>(result.rows.size()) >= search->most ||
            bytes >= search->mostBytes) {
            result.position = row;
            break;
        }
        LVITEMA item = {};
        item.iSubItem = search->column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        LRESULT length = ToListView(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(&item));
        if (length != static_cast<LRESULT>(text.size()) ||
            std::memcmp(buffer.data(), text.data(), text.size()) != 0)
            continue;
        result.rows.push_back(
            {row, ListGetItemTag(list, row), ListGetItemText(list, row, search->readColumn)});
        bytes += result.rows.back().text.size();
    }
    if (result.position > 0)
        result.tagBefore = ListGetItemTag(list, result.position - 1);
}

bool ListFilterMessage(HWND list, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_NCDESTROY) { // a list that goes away drops its writes
        bool more = false;
        TakeQueuedWrites(list, false, SIZE_MAX, &more);
        std::lock_guard<std::mutex> guard(g_queueLock);
        Forget(&g_paced, list);
        return false;
    }
    bool onTimer = message == WM_TIMER && wParam == kPaceTimer;
    if (message != kSetTextIfTagged && message != kFindText && message != kMakeQueuedWrites &&
        !onTimer)
        return false;
    *result = 0;
    if (message == kMakeQueuedWrites && wParam == kSliceRequest) {
        bool more = false;
        MakeWrites(list, TakeQueuedWrites(list, false, kSlice, &more, false));
        *result = 1;
        return true;
    }
    if (message == kMakeQueuedWrites || onTimer) {
        MakeQueuedWritesPaced(list, onTimer);
        return true;
    }
    if (!IsInFlight(message, reinterpret_cast<const void*>(lParam)))
        return true;
    if (message == kFindText) {
        FindTexts(list, reinterpret_cast<TextSearch*>(lParam));
        return true;
    }
    MakeQueuedWrites(list);
    const auto* write = reinterpret_cast<const TaggedWrite*>(lParam);
    if (write->tag != 0 && ListGetItemTag(list, write->row) == write->tag) {
        for (const CellText& cell : *write->cells)
            ListSetItemText(list, write->row, cell.text, cell.column);
        *result = 1;
    }
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
    ListSetItemTextsIfTagged,
    ListQueueItemTextIfTagged,
    ListFindItemTexts,
    ListMakeQueuedWrites,
    ListFilterMessage,
    true,
};

} // namespace

HWND CreateListView(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                    const std::string& firstColumnTitle, int32_t firstColumnWidth, uint32_t flags) {
    ListViewStyle s = DecodeListViewFlags(flags);
    HWND list = CreateControl(number, WC_LISTVIEWA, s.style, s.exStyle, std::string(), x, y, width,
                              height, &kListViewOperations);
    if (list == nullptr)
        return nullptr;
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

bool SetListItemTextIfTagged(int32_t number, int32_t row, uint32_t tag, const std::string& text,
                             int32_t column) {
    return SetListItemTextsIfTagged(number, row, tag, {{column, text}});
}

bool SetListItemTextsIfTagged(int32_t number, int32_t row, uint32_t tag,
                              const std::vector<CellText>& cells) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->setItemTextsIfTagged == nullptr)
        return false;
    return ref.operations->setItemTextsIfTagged(ref.control, row, tag, cells);
}

void QueueListItemTextIfTagged(int32_t number, int32_t row, uint32_t tag, const std::string& text,
                               int32_t column) {
    ControlRef ref = LookUpControl(number);
    if (ref.control != nullptr && ref.operations->queueItemTextIfTagged != nullptr)
        ref.operations->queueItemTextIfTagged(ref.control, row, tag, text, column);
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

size_t CountQueuedListWrites() {
    std::lock_guard<std::mutex> guard(g_queueLock);
    return g_queue.size();
}
