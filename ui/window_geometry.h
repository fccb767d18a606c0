// The arithmetic of opening a window: what the flag word of CreateAppWindow
// means, and where a centred window goes. Pure functions, no Win32.
#pragma once

#include <cstdint>

enum class Centring { None, OnScreen, OnActiveWindow };

struct WindowFlags {
    uint32_t style;    // the Win32 window style to create with
    Centring centring; // where to place the window
};

// The flag word: bit 0 centres on the screen, bit 1 on the active window (bit 1
// wins); 0x10000000 means "create hidden" (the Win32 WS_VISIBLE bit read the
// other way round); every other bit is a Win32 window style. A window whose
// remaining flags are 0 or only 0x10000000 still gets a caption.
WindowFlags DecodeWindowFlags(uint32_t flags);

struct Point {
    int32_t x;
    int32_t y;
};

// Top-left corner of an outer window of the given size centred on a screen of
// the given size; an outer size larger than the screen counts as the screen's.
// Each half is truncated separately.
Point CentreOnScreen(int32_t outerWidth, int32_t outerHeight, int32_t screenWidth,
                     int32_t screenHeight);

// Top-left corner of an outer window centred on another window's rectangle;
// negative coordinates become 0.
Point CentreOnRectangle(int32_t outerWidth, int32_t outerHeight, int32_t left, int32_t top,
                        int32_t right, int32_t bottom);
