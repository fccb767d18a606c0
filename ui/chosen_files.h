// The result of the open-file dialog, taken apart without Win32.
//
// With several files allowed, the dialog writes either one full path, or the
// folder, a zero byte, then each chosen name followed by a zero byte, and one
// more zero byte at the end. ChosenFiles walks such a result: the first call
// gives the first full path, each later call the next one, and "" once the
// names are used up (and on every call after that).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct ChosenFiles {
    std::vector<char> result; // a private copy of the dialog's buffer
    std::string directory;    // the folder of a multiple choice, ending in a backslash
    size_t position = 0;      // offset of the next name; 0 = no more names
};

// Starts a walk over the dialog's result buffer (size bytes) and returns the
// first chosen path, or "" when the buffer holds no complete name. A name is
// complete only when a zero byte ends it inside the buffer; a name cut off by
// the buffer's end is never returned, so a truncated result cannot name a
// different file. The folder is kept whole, however long it is.
std::string FirstChosenFile(ChosenFiles& walk, const char* buffer, size_t size);

// The next full path of a multiple choice, or "" when there is none.
std::string NextChosenFile(ChosenFiles& walk);

// The dialog's filter: the pattern's "|" separators become zero bytes, and two
// zero bytes end it. "Any file|*.*" -> "Any file\0*.*\0\0".
std::string MakeDialogFilter(std::string_view pattern);

struct DefaultFile {
    bool hasInitialDirectory;
    std::string initialDirectory; // the part before the last backslash
    std::string fileName;         // the text for the dialog's file name box
};

// Splits a default file at its last backslash that is not its first
// character: "D:\dir\a.txt" opens in "D:\dir" with "a.txt" in the name box. A
// text without such a backslash is the file name alone, with an empty initial
// folder; the empty text gives no initial folder at all.
DefaultFile SplitDefaultFile(std::string_view defaultFile);
