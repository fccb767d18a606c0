#include "ui/menu_win.h"

#include <vector>

namespace {

struct MenuEntry {
    HMENU menu = nullptr;
    HWND window = nullptr; // the window whose menu bar this is; 0 for a popup menu
};

std::vector<MenuEntry> g_menus(10);
HMENU g_current = nullptr;

} // namespace

void InitMenuLayer() {
    g_menus.assign(10, MenuEntry{});
    g_current = nullptr;
}

HMENU NewPopupMenu(int32_t number) {
    if (number < 0)
        return nullptr;
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return nullptr;
    if (static_cast<size_t>(number) >= g_menus.size())
        g_menus.resize(static_cast<size_t>(number) + 30);
    MenuEntry& entry = g_menus[static_cast<size_t>(number)];
    if (entry.menu != nullptr) {
        if (entry.window != nullptr)
            SetMenu(entry.window, nullptr);
        if (g_current == entry.menu)
            g_current = nullptr;
        DestroyMenu(entry.menu);
    }
    entry = {menu, nullptr};
    g_current = menu;
    return menu;
}

void AppendMenuItem(int32_t item, const std::string& text) {
    if (g_current != nullptr)
        AppendMenuA(g_current, MF_STRING, static_cast<UINT_PTR>(item), text.c_str());
}

void ShowPopupMenu(int32_t number, HWND window) {
    if (number < 0 || static_cast<size_t>(number) >= g_menus.size())
        return;
    HMENU menu = g_menus[static_cast<size_t>(number)].menu;
    if (menu == nullptr)
        return;
    SetForegroundWindow(window);
    POINT cursor = {};
    GetCursorPos(&cursor);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x - 1, cursor.y - 1,
                   0, window, nullptr);
}
