// The main window: window 0 with its ten controls, the help tip on the file
// list and the rename menu.
#pragma once

#include <windows.h>

#include <string>

// The title under which a running instance is found by a later one.
extern const char kFinalTitle[];

// The popup menu of the six name layouts.
constexpr int32_t PatternMenu = 1;

// Opens window 0 hidden as "initialize", with its controls when it opened,
// and makes the PatternMenu. Returns the window, or 0.
HWND BuildMainWindow();

// Attaches a tip with a title and text to a control of a window; the tip
// shows while the mouse rests on the control. Returns 0.
int32_t AddHelpTip(int32_t window, int32_t control, const std::string& title,
                   const std::string& text);
