#include "ui/list_writes_win.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

std::atomic<bool> ReplaceQueuedWrites{true};
std::atomic<size_t> QueuedWriteSlice{512};

namespace {

// "Make the queued writes": posted, or sent with kSliceRequest to have one
// slice made before the answer.
constexpr UINT kMakeQueuedWrites = WM_APP + 0x5358;
constexpr WPARAM kSliceRequest = 1;

// Tag-checked writes queued for the lists' threads, in the order they were
// queued. A list takes all of its writes before it serves any request of
// this layer (so a caller's queued writes come before its next request), and
// otherwise up to a slice of them (QueuedWriteSlice) when a kMakeQueuedWrites
// message comes or its pacing timer goes off. The first write queued for a list posts that
// message, unless one is on its way or the list is paced: after taking writes
// that way, a list takes the next ones on its timer, kPaceMs later, and only
// when a tick finds none queued does the next write post again. So a file
// read at several GB/s, with a percentage every few milliseconds, wakes the
// window about every kPaceMs, not at each one; and many small files, three
// writes each, cost the window a message per hundred files.
//
// A slice that leaves writes behind posts the message again only when no
// input and no painting waits for the thread: the system hands out posted
// messages before input and WM_PAINT, so posting on would keep a click or a
// repaint waiting for as long as writes come in. Then the timer, which comes
// after them, takes the rest.
//
// A write for the same cell of the same row as the last one queued, while
// that one still waits, takes its place: the worker's "0%" for a small file
// is followed at once by the verdict, and a window that is behind need not
// show every percentage of a large file. Writes queued together (a row's
// verdict and checksum) are never split between slices: whoever reads the
// list between two slices (a rename, "Copy All") sees both or neither.
//
// A thread that waits for the writes (FlushQueuedListWrites) has them made a
// slice per request, so that the list's thread answers other messages
// between slices.
constexpr UINT_PTR kPaceTimer = 0x5358;
constexpr UINT kPaceMs = 10;
std::mutex g_queueLock;
std::deque<QueuedWrite> g_queue;
std::vector<HWND> g_paced;  // lists whose pacing timer runs
std::vector<HWND> g_posted; // lists with a kMakeQueuedWrites message on its way

void Forget(std::vector<HWND>* lists, HWND list) {
    lists->erase(std::remove(lists->begin(), lists->end(), list), lists->end());
}

bool Holds(const std::vector<HWND>& lists, HWND list) {
    return std::find(lists.begin(), lists.end(), list) != lists.end();
}

// On the list's thread: takes up to most of the writes queued for it, in
// order, and those queued together with the last one; those of other lists
// stay queued. *more tells whether some of its own stay too. When none was
// queued and unpace is set, the list is no longer paced (in the same step, so
// a write queued right after posts). A slice sent for leaves the posted
// message's entry alone.
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
        } else if (writes.size() >= most && !writes.back().withNext) {
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

bool InputOrPaintWaits() {
    return HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) != 0;
}

// The list's message, or its pacing timer: takes a slice of the queued
// writes, and paces the list from then on while there are any.
void MakeQueuedWritesPaced(HWND list, bool onTimer) {
    bool more = false;
    std::vector<QueuedWrite> writes =
        TakeQueuedWrites(list, onTimer, QueuedWriteSlice.load(), &more);
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
    MakeListWrites(list, writes);
    if (!more || InputOrPaintWaits())
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

} // namespace

bool IsListsThread(HWND list) {
    return GetWindowThreadProcessId(list, nullptr) == GetCurrentThreadId();
}

void QueueListWrites(HWND list, int32_t row, uint32_t tag, const std::vector<CellText>& cells) {
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        for (size_t i = 0; i < cells.size(); ++i) {
            bool withNext = i + 1 < cells.size();
            // Whatever takes the write it replaces (a message on its way, the
            // pacing timer or a flush) takes this text instead.
            if (i == 0 && ReplaceQueuedWrites.load() && !g_queue.empty()) {
                QueuedWrite& last = g_queue.back();
                if (last.list == list && last.row == row && last.tag == tag &&
                    last.column == cells[i].column) {
                    last.text = cells[i].text;
                    last.withNext = withNext;
                    continue;
                }
            }
            g_queue.push_back({list, row, tag, cells[i].column, cells[i].text, withNext});
        }
        post = !Holds(g_posted, list) && !Holds(g_paced, list);
        if (post)
            g_posted.push_back(list);
    }
    // A list whose message queue is full (or that is gone) gets its writes
    // sent instead.
    if (post && !PostMessageA(list, kMakeQueuedWrites, 0, 0))
        SendMessageA(list, kMakeQueuedWrites, 0, 0);
}

void MakeAllQueuedWrites(HWND list) {
    bool more = false;
    MakeListWrites(list, TakeQueuedWrites(list, false, SIZE_MAX, &more));
}

void MakeQueuedWritesDownTo(HWND list, size_t leave) {
    auto waiting = [list] {
        std::lock_guard<std::mutex> guard(g_queueLock);
        return static_cast<size_t>(
            std::count_if(g_queue.begin(), g_queue.end(),
                          [list](const QueuedWrite& w) { return w.list == list; }));
    };
    if (IsListsThread(list)) {
        if (waiting() > leave)
            MakeAllQueuedWrites(list);
        return;
    }
    while (waiting() > leave)
        if (SendMessageA(list, kMakeQueuedWrites, kSliceRequest, 0) != 1)
            return;
}

bool HandleQueueMessage(HWND list, UINT message, WPARAM wParam, LRESULT* result) {
    bool onTimer = message == WM_TIMER && wParam == kPaceTimer;
    if (message != kMakeQueuedWrites && !onTimer)
        return false;
    *result = 0;
    if (message == kMakeQueuedWrites && wParam == kSliceRequest) {
        bool more = false;
        MakeListWrites(list, TakeQueuedWrites(list, false, QueuedWriteSlice.load(), &more, false));
        *result = 1;
    } else {
        MakeQueuedWritesPaced(list, onTimer);
    }
    return true;
}

void DropQueuedWrites(HWND list) {
    bool more = false;
    TakeQueuedWrites(list, false, SIZE_MAX, &more);
    std::lock_guard<std::mutex> guard(g_queueLock);
    Forget(&g_paced, list);
}

size_t CountQueuedListWrites() {
    std::lock_guard<std::mutex> guard(g_queueLock);
    return g_queue.size();
}
