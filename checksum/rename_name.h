// The new name of a file that is to carry its checksum.
//
// The new path is the old folder, the base name, the pattern's text before
// the checksum, the checksum, the pattern's text after it and the extension:
// "C:\Music\Track 01.mp3" with 1A2B3C4D becomes "C:\Music\Track 01 [1A2B3C4D].mp3"
// with pattern 1. The extension is the text after the last dot of the file
// name; the base name is the file name with every "." + extension removed,
// letter case ignored. A name without a dot has an empty extension, so its new
// name ends in "." (which the file system drops when the file is renamed).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct RenameSeparators {
    const char* before; // placed before the checksum
    const char* after;  // placed after the checksum, before the extension
};

// The separators of pattern 1 to 6 (the rename menu's items, in order):
// " [" "].", " " ".", "_[" "].", "_" ".", ".[" "].", "." ".".
// Returns false for any other number.
bool RenameSeparatorsOf(int32_t pattern, RenameSeparators* separators);

// The new full path for oldPath carrying crcText in the given pattern, or ""
// for a pattern outside 1 to 6.
std::string ComposeRenamedPath(std::string_view oldPath, std::string_view crcText, int32_t pattern);
