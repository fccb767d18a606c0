// The open-file dialog, with one or several files.
#pragma once

#include <cstdint>
#include <string>

// Shows the modal open-file dialog. pattern lists description|wildcards pairs
// ("Any file|*.*"); patternPosition picks the initial one, from 0; a default
// file "D:\dir\a.txt" opens in D:\dir with a.txt in the name box. With flags 1
// several files may be chosen. Returns the chosen path (the first one of
// several), or "" when the dialog was cancelled or failed. The calling
// thread's other windows are disabled while the dialog is open.
std::string AskOpenFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& pattern, int32_t patternPosition, int32_t flags);

// The next path of a multiple choice, in the dialog's order; "" when there are
// no more (and on every call after that).
std::string NextChosenFileName();
