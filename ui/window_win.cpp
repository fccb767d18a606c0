#include "ui/window_win.h"

#include "runtime/text.h"
#include "ui/events_win.h"
#include "ui/window_geometry.h"

#include <vector>

namespace {

constexpr WORD kFocusNextCommand = 1212;
constexpr WORD kFocusPreviousCommand = 1213;

struct WindowEntry {
    HWND window = nullptr;
    HACCEL accelerators = nullptr;
};

// Indexed by window number; grows on demand.
std::vector<WindowEntry> g_windows(10);
HWND g_lastWindow = nullptr;
HBRUSH g_background = nullptr;
HCURSOR g_cursor = nullptr;
HICON g_icon = nullptr;

std::string ClassNameOf(int32_t number) {
    return ConcatText("WindowClass_", FormatInteger(number));
}

WindowEntry* EntryOf(int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= g_windows.size())
        return nullptr;
    return &g_windows[static_cast<size_t>(number)];
}

void CloseWindowNumber(int32_t number) {
    WindowEntry* entry = EntryOf(number);
    if (entry == nullptr)
        return;
    if (entry->window != nullptr) {
        DestroyWindow(entry->window);
        UnregisterClassA(ClassNameOf(number).c_str(), GetModuleHandleA(nullptr));
    }
    if (entry->accelerators != nullptr)
        DestroyAcceleratorTable(entry->accelerators);
    *entry = WindowEntry{};
}

HACCEL MakeTabAccelerators() {
    ACCEL keys[2] = {
        {FVIRTKEY | FNOINVERT, VK_TAB, kFocusNextCommand},
        {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, kFocusPreviousCommand},
    };
    return CreateAcceleratorTableA(keys, 2);
}

} // namespace

void InitWindowLayer() {
    if (g_background == nullptr) {
        LOGBRUSH brush = {BS_SOLID, GetSysColor(COLOR_BTNFACE), 0};
        g_background = CreateBrushIndirect(&brush);
    }
    g_cursor = LoadCursorA(nullptr, IDC_ARROW);
    g_icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
}

HWND CreateAppWindow(int32_t number, int32_t x, int32_t y, int32_t innerWidth, int32_t innerHeight,
                     uint32_t flags, const std::string& title) {
    if (number < 0)
        return nullptr;
    CloseWindowNumber(number);

    HINSTANCE module = GetModuleHandleA(nullptr);
    std::string className = ClassNameOf(number);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = LayerWindowProcedure;
    windowClass.hInstance = module;
    windowClass.hIcon = g_icon;
    windowClass.hCursor = g_cursor;
    windowClass.hbrBackground = g_background;
    windowClass.lpszClassName = className.c_str();
    RegisterClassA(&windowClass);

    WindowFlags decoded = DecodeWindowFlags(flags);
    RECT outer = {x, y, x + innerWidth, y + innerHeight};
    AdjustWindowRect(&outer, decoded.style, FALSE);
    int32_t outerWidth = outer.right - outer.left;
    int32_t outerHeight = outer.bottom - outer.top;

    Point place = {x, y};
    HWND active = decoded.centring == Centring::OnActiveWindow ? GetActiveWindow() : nullptr;
    RECT activeRect;
    if (active != nullptr && GetWindowRect(active, &activeRect)) {
        place = CentreOnRectangle(outerWidth, outerHeight, activeRect.left, activeRect.top,
                                  activeRect.right, activeRect.bottom);
    } else if (decoded.centring != Centring::None) {
        place = CentreOnScreen(outerWidth, outerHeight, GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN));
    }

    HWND window =
        CreateWindowExA(0, className.c_str(), title.c_str(), decoded.style, place.x, place.y,
                        outerWidth, outerHeight, nullptr, nullptr, module, nullptr);
    if (window == nullptr) {
        UnregisterClassA(className.c_str(), module);
        return nullptr;
    }
    if (static_cast<size_t>(number) >= g_windows.size())
        g_windows.resize(static_cast<size_t>(number) + 30);
    WindowEntry& entry = g_windows[static_cast<size_t>(number)];
    entry.window = window;
    entry.accelerators = MakeTabAccelerators();
    g_lastWindow = window;
    return window;
}

HWND GetWindowHandle(int32_t number) {
    WindowEntry* entry = EntryOf(number);
    return entry != nullptr ? entry->window : nullptr;
}

HWND GetLastWindowHandle() {
    return g_lastWindow;
}

void SetWindowHidden(int32_t number, int32_t hidden) {
    HWND window = GetWindowHandle(number);
    if (window != nullptr)
        ShowWindow(window, hidden != 0 ? SW_HIDE : SW_SHOWNORMAL);
}

void SetWindowCaption(int32_t number, const std::string& text) {
    HWND window = GetWindowHandle(number);
    if (window != nullptr)
        SetWindowTextA(window, text.c_str());
}

void CloseAllWindows() {
    for (size_t n = g_windows.size(); n-- > 0;)
        CloseWindowNumber(static_cast<int32_t>(n));
}

bool IsLayerWindow(HWND window) {
    if (window == nullptr)
        return false;
    for (const WindowEntry& entry : g_windows)
        if (entry.window == window)
            return true;
    return false;
}

HACCEL LayerAcceleratorTable(HWND window) {
    if (window == nullptr)
        return nullptr;
    for (const WindowEntry& entry : g_windows)
        if (entry.window == window)
            return entry.accelerators;
    return nullptr;
}
