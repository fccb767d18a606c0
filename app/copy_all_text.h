// The text "Copy All" puts on the clipboard: one line per entry, the display
// name, one space, the CRC32 column as it stands (empty while the checksum is
// not finished) and CR LF. It grows with the list and has no bound of its own.
#pragma once

#include <string>
#include <string_view>

void AppendCopyAllLine(std::string& text, std::string_view displayName, std::string_view crc);
