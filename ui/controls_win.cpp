#include "ui/controls_win.h"

#include "ui/control_styles.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Where a subclassed control keeps the procedure of its class. The table
// keeps it too: every message of a control needs it, and a window property
// costs a round trip to the Wine server each time it is read.
const char kPreviousProcedure[] = "Sumvane.PreviousProcedure";

struct ControlEntry {
    HWND control = nullptr;
    const ControlOperations* operations = nullptr;
    WNDPROC previous = nullptr;
};

// Indexed by control number; grows on demand. Changed only by the thread that
// owns the controls; read by any thread, hence the lock (held only to copy an
// entry, never across a window message).
std::mutex g_controlsLock;
std::vector<ControlEntry> g_controls(30);

HWND g_parent = nullptr;
HFONT g_font = nullptr;

const ControlOperations kNoOperations = {};

int32_t ButtonCheckState(HWND control) {
    return static_cast<int32_t>(SendMessageA(control, BM_GETCHECK, 0, 0));
}

const ControlOperations kButtonOperations = {ButtonCheckState};

void FreeEntryOf(HWND control) {
    std::lock_guard<std::mutex> guard(g_controlsLock);
    for (ControlEntry& entry : g_controls)
        if (entry.control == control)
            entry = ControlEntry{};
}

// The table's entry of a control, or an empty one when its number now
// names another control (or none).
ControlEntry EntryOf(HWND control) {
    auto number = static_cast<size_t>(GetWindowLongA(control, GWL_ID));
    std::lock_guard<std::mutex> guard(g_controlsLock);
    if (number < g_controls.size() && g_controls[number].control == control)
        return g_controls[number];
    return ControlEntry{};
}

// The controls whose class procedure this thread is inside, innermost last.
thread_local std::vector<HWND> t_atWork;

LRESULT CALLBACK ControlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlEntry entry = EntryOf(control);
    WNDPROC previous = entry.previous;
    if (previous == nullptr)
        previous = reinterpret_cast<WNDPROC>(GetPropA(control, kPreviousProcedure));
    LRESULT result = 0;
    if (entry.operations != nullptr && entry.operations->filterMessage != nullptr &&
        entry.operations->filterMessage(control, message, wParam, lParam, &result) &&
        message != WM_NCDESTROY)
        return result;
    if (message == WM_NCDESTROY) {
        FreeEntryOf(control);
        RemovePropA(control, kPreviousProcedure);
    }
    if (previous == nullptr)
        return DefWindowProcA(control, message, wParam, lParam);
    return CallControlClassProcedure(control, previous, message, wParam, lParam);
}

} // namespace

void InitControlLayer() {
    g_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    InitCommonControls();
}

HWND SetControlParent(HWND window) {
    g_parent = window;
    return window;
}

HWND CreateControl(int32_t number, const char* className, uint32_t style, uint32_t exStyle,
                   const std::string& text, int32_t x, int32_t y, int32_t width, int32_t height,
                   const ControlOperations* operations) {
    if (number < 0)
        return nullptr;
    HWND old = GetControlHandle(number);
    if (old != nullptr)
        DestroyWindow(old); // its WM_NCDESTROY frees the number

    HWND control = CreateWindowExA(exStyle, className, text.c_str(), style, x, y, width, height,
                                   g_parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(number)),
                                   GetModuleHandleA(nullptr), nullptr);
    if (control == nullptr)
        return nullptr;
    auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control, GWLP_WNDPROC));
    {
        std::lock_guard<std::mutex> guard(g_controlsLock);
        if (static_cast<size_t>(number) >= g_controls.size())
            g_controls.resize(static_cast<size_t>(number) + 30);
        g_controls[static_cast<size_t>(number)] = {
            control, operations ? operations : &kNoOperations, previous};
    }
    SetPropA(control, kPreviousProcedure, reinterpret_cast<HANDLE>(previous));
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProcedure));
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), TRUE);
    return control;
}

HWND CreateTextControl(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const std::string& text, uint32_t flags) {
    ControlStyle s = TextControlStyle(flags);
    return CreateControl(number, s.className, s.style, s.exStyle, text, x, y, width, height,
                         &kNoOperations);
}

HWND CreateButton(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                  const std::string& text) {
    ControlStyle s = ButtonStyle();
    return CreateControl(number, s.className, s.style, s.exStyle, text, x, y, width, height,
                         &kButtonOperations);
}

HWND CreateFrame(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                 const std::string& text, uint32_t flags) {
    ControlStyle s = FrameStyle(flags);
    // A group box is a button and shares the buttons' operations.
    const ControlOperations* ops = flags == 0 ? &kButtonOperations : &kNoOperations;
    return CreateControl(number, s.className, s.style, s.exStyle, text, x, y, width, height, ops);
}

void SetControlDisabled(int32_t number, int32_t disabled) {
    HWND control = GetControlHandle(number);
    if (control != nullptr)
        EnableWindow(control, disabled == 0);
}

HWND GetControlHandle(int32_t number) {
    return LookUpControl(number).control;
}

int32_t GetSelectedIndex(int32_t number) {
    ControlRef ref = LookUpControl(number);
    if (ref.control == nullptr || ref.operations->getSelectedIndex == nullptr)
        return 0;
    return ref.operations->getSelectedIndex(ref.control);
}

bool IsListViewControl(int32_t number) {
    ControlRef ref = LookUpControl(number);
    return ref.control != nullptr && ref.operations->isListView;
}

WNDPROC ControlClassProcedure(HWND control) {
    return EntryOf(control).previous;
}

LRESULT CallControlClassProcedure(HWND control, WNDPROC own, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
    t_atWork.push_back(control);
    LRESULT result = CallWindowProcA(own, control, message, wParam, lParam);
    t_atWork.pop_back();
    return result;
}

bool IsControlAtWork(HWND control) {
    return std::find(t_atWork.begin(), t_atWork.end(), control) != t_atWork.end();
}

bool AnswerControlNotify(const NMHDR* header, LRESULT* result) {
    if (!IsControlAtWork(header->hwndFrom))
        return false;
    ControlEntry entry = EntryOf(header->hwndFrom);
    return entry.operations != nullptr && entry.operations->answerNotify != nullptr &&
           entry.operations->answerNotify(header->hwndFrom, header, result);
}

ControlRef LookUpControl(int32_t number) {
    std::lock_guard<std::mutex> guard(g_controlsLock);
    if (number < 0 || static_cast<size_t>(number) >= g_controls.size() ||
        g_controls[static_cast<size_t>(number)].control == nullptr)
        return {nullptr, &kNoOperations};
    const ControlEntry& entry = g_controls[static_cast<size_t>(number)];
    return {entry.control, entry.operations};
}
