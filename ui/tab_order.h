// Which control gets the focus on Tab and Shift+Tab. The window layer lists a
// window's children in their enumeration order, marks which of them are tab
// stops (enabled, visible, WS_TABSTOP) and where the focus is; these functions
// pick the child to focus. Pure functions, no Win32.
#pragma once

#include <vector>

// -1 stands for "no child" (no current focus, or no move).

// Tab: with no current focus, the first tab stop; from a tab stop, the next
// one, wrapping from the last to the first; from a child that is not a tab
// stop, no move.
int NextTabStop(const std::vector<bool>& isTabStop, int focus);

// Shift+Tab: from a tab stop with another before it, that one; in every other
// case (first tab stop, no tab stop, no focus) the last tab stop.
int PreviousTabStop(const std::vector<bool>& isTabStop, int focus);
