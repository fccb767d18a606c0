#include "ui/events_win.h"

#include "ui/controls_win.h"
#include "ui/tab_order.h"
#include "ui/window_win.h"

#include <commctrl.h>

#include <deque>
#include <vector>

namespace {

constexpr UINT kPostedSizeMessage = 12504;
constexpr WORD kFocusNextCommand = 1212;
constexpr WORD kFocusPreviousCommand = 1213;

struct EventRecord {
    uint32_t code = 0; // 0 = nothing recorded since the last retrieval ended
    int32_t number = 0;
    int32_t type = -1;
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    MessageCallback callback = nullptr;
};

EventRecord g_event;

// Drops are never lost and never reported twice. The one event record can
// hold only one event, and a drop arriving in the same retrieval as another
// recorded event would be masked by it; a drop dispatched by a modal loop
// (message box, file dialog, popup menu) would never reach the event loop at
// all. So:
//  - a drop beats a pending list row change (LVN_ITEMCHANGED and the like,
//    which the event loop ignores anyway): the retrieval reports 563;
//  - a drop that meets any other pending event, or that a modal loop
//    dispatched, waits here, and the next retrieval reports it first.
std::deque<WPARAM> g_deferredDrops;

// The message that our own retrieval is dispatching right now, if any.
const MSG* g_dispatching = nullptr;

int32_t ListViewEventType(UINT code, int32_t current) {
    switch (code) {
    case NM_CLICK:
        return 0;
    case NM_RCLICK:
        return 1;
    case NM_DBLCLK:
    case LVN_ITEMACTIVATE:
        return 2;
    case NM_RDBLCLK:
        return 3;
    default:
        return current;
    }
}

bool IsFromListView(HWND sender) {
    char className[50] = {};
    GetClassNameA(sender, className, sizeof className);
    return className[0] == 'S' && className[1] == 'y' && className[2] == 's' && className[3] == 'L';
}

// WM_NOTIFY carries a pointer. Our own controls send it from this thread; a
// message from anywhere else is looked at only if the pointer is readable
// memory of ours and names a window of this thread.
bool IsReadableMemory(const void* address, size_t size) {
    auto at = reinterpret_cast<uintptr_t>(address);
    while (size > 0) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0)
            return false;
        const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (info.State != MEM_COMMIT || (info.Protect & readable) == 0 ||
            (info.Protect & PAGE_GUARD) != 0)
            return false;
        uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        size_t inRegion = regionEnd - at < size ? regionEnd - at : size;
        at += inRegion;
        size -= inRegion;
    }
    return true;
}

void RecordNotify(const NMHDR* header) {
    if (header == nullptr || !IsReadableMemory(header, sizeof *header))
        return;
    if (GetWindowThreadProcessId(header->hwndFrom, nullptr) != GetCurrentThreadId() ||
        !IsFromListView(header->hwndFrom))
        return;
    g_event.type = ListViewEventType(header->code, g_event.type);
    if (g_event.type != -1 || header->code == LVN_ITEMCHANGED) {
        g_event.code = kControlEvent;
        g_event.number = static_cast<int32_t>(header->idFrom);
    }
}

void RecordCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam != 0) {
        g_event.code = kControlEvent;
        g_event.type = HIWORD(wParam);
        g_event.number = GetWindowLongA(reinterpret_cast<HWND>(lParam), GWL_ID);
    } else if (HIWORD(wParam) == 0) {
        g_event.code = kMenuEvent;
        g_event.number = static_cast<int32_t>(wParam);
    } else if (LOWORD(wParam) == kFocusNextCommand) {
        FocusNextCommand();
    } else if (LOWORD(wParam) == kFocusPreviousCommand) {
        FocusPreviousCommand();
    }
}

bool PendingEventIsRowChange() {
    return g_event.code == kControlEvent && g_event.type == -1 && IsListViewControl(g_event.number);
}

uint32_t Retrieve(bool wait) {
    g_event.type = -1;
    if (!g_deferredDrops.empty()) {
        // The pending record, if any, stays for the next retrieval.
        g_event.message = WM_DROPFILES;
        g_event.wParam = g_deferredDrops.front();
        g_event.lParam = 0;
        g_deferredDrops.pop_front();
        return WM_DROPFILES;
    }

    MSG msg = {};
    if (wait) {
        GetMessageA(&msg, nullptr, 0, 0);
    } else if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return 0;
    }

    HWND active = GetActiveWindow();
    HACCEL accelerators = LayerAcceleratorTable(active);
    if (accelerators == nullptr || !TranslateAcceleratorA(active, accelerators, &msg)) {
        TranslateMessage(&msg);
        const MSG* outer = g_dispatching;
        g_dispatching = &msg;
        DispatchMessageA(&msg);
        g_dispatching = outer;
    }

    if (msg.message == WM_DROPFILES && IsLayerWindow(msg.hwnd) && g_event.code != 0 &&
        !PendingEventIsRowChange()) {
        g_deferredDrops.push_back(msg.wParam);
    } else if (msg.message == WM_DROPFILES && IsLayerWindow(msg.hwnd)) {
        g_event.code = 0;
    }

    uint32_t result;
    if (g_event.code != 0) {
        result = g_event.code;
    } else {
        result = msg.message;
        g_event.wParam = msg.wParam;
        g_event.lParam = msg.lParam;
    }
    g_event.code = 0;
    return result;
}

struct ChildList {
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    reinterpret_cast<ChildList*>(context)->children.push_back(child);
    return TRUE;
}

// Children of the active window in enumeration order, which of them are tab
// stops, and the position of the focus among them (-1 for no focus).
struct TabStops {
    std::vector<HWND> children;
    std::vector<bool> isStop;
    int focus = -1;
};

TabStops CollectTabStops(HWND active) {
    TabStops stops;
    ChildList list;
    EnumChildWindows(active, CollectChild, reinterpret_cast<LPARAM>(&list));
    stops.children = list.children;
    for (HWND child : stops.children) {
        bool stop = IsWindowEnabled(child) && IsWindowVisible(child) &&
                    (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0;
        stops.isStop.push_back(stop);
    }
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(active, focus)) {
        stops.focus = static_cast<int>(stops.children.size());
        for (size_t i = 0; i < stops.children.size(); ++i)
            if (stops.children[i] == focus)
                stops.focus = static_cast<int>(i);
        if (stops.focus == static_cast<int>(stops.children.size())) {
            // A focused child the walk did not list counts as no tab stop.
            stops.children.push_back(focus);
            stops.isStop.push_back(false);
        }
    }
    return stops;
}

} // namespace

void SetMessageCallback(MessageCallback callback) {
    g_event.callback = callback;
}

uint32_t WaitForEvent() {
    return Retrieve(true);
}

uint32_t PollEvent() {
    return Retrieve(false);
}

int32_t GetEventControl() {
    return g_event.number;
}

int32_t GetEventMenuItem() {
    return g_event.number;
}

int32_t GetEventType() {
    return g_event.type;
}

WPARAM GetEventWParam() {
    return g_event.wParam;
}

void FocusNextCommand() {
    HWND active = GetActiveWindow();
    if (active == nullptr)
        return;
    TabStops stops = CollectTabStops(active);
    int target = NextTabStop(stops.isStop, stops.focus);
    if (target >= 0)
        SetFocus(stops.children[static_cast<size_t>(target)]);
}

void FocusPreviousCommand() {
    HWND active = GetActiveWindow();
    if (active == nullptr)
        return;
    TabStops stops = CollectTabStops(active);
    int target = PreviousTabStop(stops.isStop, stops.focus);
    if (target >= 0)
        SetFocus(stops.children[static_cast<size_t>(target)]);
}

LRESULT CALLBACK LayerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_event.window = window;
    g_event.message = message;
    g_event.wParam = wParam;
    g_event.lParam = lParam;

    if (g_event.callback != nullptr) {
        uint32_t result = g_event.callback(window, message, wParam, lParam);
        // A 32-bit result, taken as signed: the answer a sender of either
        // build reads is the same as from the i686 build.
        if (result != PassOnMarker)
            return static_cast<LRESULT>(static_cast<int32_t>(result));
    }

    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT answer = 0;
        if (header != nullptr && IsReadableMemory(header, sizeof *header) &&
            AnswerControlNotify(header, &answer))
            return answer;
        RecordNotify(header);
        return 0;
    }
    case WM_COMMAND:
        RecordCommand(wParam, lParam);
        return 0;
    case WM_SIZE:
        PostMessageA(window, kPostedSizeMessage, wParam, lParam);
        return 0;
    case kPostedSizeMessage:
        g_event.code = kSizeEvent;
        return 0;
    case WM_CLOSE:
        g_event.code = kCloseEvent;
        return 0;
    case WM_DROPFILES:
        if (g_dispatching == nullptr || g_dispatching->message != WM_DROPFILES ||
            g_dispatching->wParam != wParam) {
            g_deferredDrops.push_back(wParam);
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
