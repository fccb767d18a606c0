// The event model over the Win32 message queue.
//
// The application asks for one event at a time and gets a number: 13100 for
// a control event (GetEventControl, GetEventType), 13101 for a menu choice
// (GetEventMenuItem), 16 for a close request (the window stays), 5 for a size
// change, or else the Win32 number of the message that was taken from the
// queue, with its wParam in GetEventWParam (563 = WM_DROPFILES and its drop
// handle). There is one event record and no queue of the layer's own.
//
// List view event types: 0 left click, 1 right click, 2 left double click or
// item activation, 3 right double click, -1 a row change without a click.
//
// Only the thread that created the windows may retrieve events.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr uint32_t kControlEvent = 13100;
constexpr uint32_t kMenuEvent = 13101;
constexpr uint32_t kCloseEvent = 16;
constexpr uint32_t kSizeEvent = 5;

// A message callback's result that lets the layer go on with the message.
constexpr uint32_t PassOnMarker = 0xE0E0E0E1;

// Sees every message of the layer's windows first. Any result other than
// PassOnMarker goes straight back to the message's sender, and the layer does
// nothing more with that message.
using MessageCallback = uint32_t (*)(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);

// Installs the callback (nullptr removes it).
void SetMessageCallback(MessageCallback callback);

// Blocks until one message has been handled; returns its event code.
uint32_t WaitForEvent();

// Like WaitForEvent, but returns 0 at once when no message is waiting.
uint32_t PollEvent();

int32_t GetEventControl();
int32_t GetEventMenuItem();
int32_t GetEventType();
WPARAM GetEventWParam();

// Tab and Shift+Tab: move the focus to the next or previous tab stop among the
// active window's children, wrapping around at both ends.
void FocusNextCommand();
void FocusPreviousCommand();

// For the layer: the window procedure of every numbered window.
LRESULT CALLBACK LayerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
