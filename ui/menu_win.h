// Numbered popup menus, shown at the mouse cursor.
//
// A choice is not the result of ShowPopupMenu: Win32 posts it to the window as
// WM_COMMAND, and the next retrieval reports it as a menu event (13101) with the
// item's number. Closing the menu without a choice reports nothing.
//
// All operations run on the thread that owns the windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Start-up: an empty menu table.
void InitMenuLayer();

// Makes popup menu `number` (replacing one that had the number) and makes it
// current. Returns its handle, or 0 when no menu could be made (nothing
// changes then).
HMENU NewPopupMenu(int32_t number);

// Appends an item to the current menu.
void AppendMenuItem(int32_t item, const std::string& text);

// Shows menu `number` with its top-left corner at the cursor, for window, and
// returns when it closes. Nothing happens for a number without a menu.
void ShowPopupMenu(int32_t number, HWND window);
