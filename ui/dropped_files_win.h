// The paths of a file drop (WM_DROPFILES), read in one pass.
//
// Asking the system for each path by its index (DragQueryFileA) walks the
// drop's list from its start every time, so a drop of thousands of files
// would hold up the window for seconds; this reads the drop's block once.
// The block comes from another program, so nothing in it is trusted: an
// offset outside the block, or a path without its terminator inside the
// block, ends the list there. Wide paths are converted to the process code
// page as DragQueryFileA converts them; narrow ones are taken as they are.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::vector<std::string> DroppedFilePaths(HDROP drop);
