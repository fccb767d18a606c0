// The text of a file list row, and how its parts are read back.
//
// A row's first column holds the file's display name, " > " and its full path;
// the CRC32 column is empty until the checksum is finished; the State column
// starts as "Waiting". A new row is handed to the list as one text with line
// feeds between the columns. Neither part of the first column can contain
// ">", since file names cannot, so it splits at ">" into exactly two fields.
#pragma once

#include <string>
#include <string_view>

// "name > path\n\nWaiting": the row text of a new entry for a full path, as
// received (relative paths stay relative).
std::string WaitingEntryText(std::string_view fullPath);

// The full path held in a row's first column.
std::string FullPathOfColumnText(std::string_view column0);

// The display name held in a row's first column, without surrounding spaces.
std::string DisplayNameOfColumnText(std::string_view column0);
