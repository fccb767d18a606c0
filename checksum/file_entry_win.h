// File list entries: the rows of the file list (control 3 of window 0), which
// is the program's only store of its data. A row's three column texts are the
// entry's whole state: "name > full path", the CRC32 text (empty until the
// checksum is finished) and the state text.
#pragma once

#include <cstdint>
#include <string>

// The control number of the file list.
constexpr int32_t FileList = 3;

// Appends a "Waiting" row for the path, exactly as received. Callers decide
// which paths qualify.
void AddWaitingEntry(const std::string& fullPath);

// The full path of row index ("" for a missing row).
std::string EntryFullPath(int32_t index);

// The display name of row index, without surrounding spaces.
std::string EntryDisplayName(int32_t index);
