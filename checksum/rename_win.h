// Renaming files so that their names carry their checksums.
//
// A finished entry (a file of at least one byte with a checksum in its CRC32
// column) is renamed within its folder to the name of rename_name.h. A file or
// folder that already has the new name is never replaced: the "File does
// already exist." box appears instead; a move the system refuses gives the
// "Couldn't rename file." box. Both are titled "Error". Entries that are not
// finished, empty files and files that are gone are skipped without a word.
// The row itself is never changed: it keeps naming the old path.
//
// Both operations run on the thread of the event loop, one box at a time.
#pragma once

#include <cstdint>

// Renames the file of the entry at index, with pattern 1 to 6.
void RenameSelectedEntry(int32_t index, int32_t pattern);

// Renames the files of the entries 0 to count - 1 in turn, skipping those
// whose path carries their checksum already and those whose name carries
// another checksum ("CRC32 mismatch"); one box per failing entry.
void RenameAllEntries(int32_t count, int32_t pattern);
