// Numbered top-level windows.
//
// The application names its windows by small numbers of its own choosing
// (the program uses window 0). Each window gets a class of its own,
// "WindowClass_<number>", with the program's icon (resource 1), the arrow
// cursor and the button-face background, and the layer's one window procedure,
// which turns messages into events (events_win.h). Every window also gets Tab
// and Shift+Tab accelerators that move the focus between its tab stops.
//
// All operations run on the thread that creates the windows and retrieves
// their events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Start-up: the shared background brush, cursor and icon.
void InitWindowLayer();

// Opens window `number` with a client area of innerWidth x innerHeight. The flag
// word: bit 0 centres on the screen, bit 1 on the active window, 0x10000000
// creates the window hidden, all other bits are Win32 window styles (a window
// without any gets a caption). x and y place the outer window when it is not
// centred. A number that holds a window is closed first. Returns the handle, or
// 0 when the window could not be made (the number then stays free).
HWND CreateAppWindow(int32_t number, int32_t x, int32_t y, int32_t innerWidth, int32_t innerHeight,
                     uint32_t flags, const std::string& title);

// The window of a number, or 0 when it holds none.
HWND GetWindowHandle(int32_t number);

// The window CreateAppWindow made most recently (0 before the first).
HWND GetLastWindowHandle();

// Shows (hidden 0, SW_SHOWNORMAL) or hides a window; nothing for a free number.
void SetWindowHidden(int32_t number, int32_t hidden);

// Sets a window's title; nothing for a free number.
void SetWindowCaption(int32_t number, const std::string& text);

// Shutdown: destroys every window from the highest number down to 0, with its
// class and accelerator table.
void CloseAllWindows();

// For the layer itself: whether a handle is one of the numbered windows, and
// its accelerator table (0 when it is not).
bool IsLayerWindow(HWND window);
HACCEL LayerAcceleratorTable(HWND window);
