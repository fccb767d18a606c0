// Handing a text to other programs through the clipboard.
#pragma once

#include <cstdint>
#include <string_view>

// Replaces the clipboard's content with text, converted from the process
// code page to CF_UNICODETEXT (with a terminating zero); the system offers
// it as CF_TEXT too, in the code page of the clipboard's locale. Returns the
// handle of the memory handed to the system, nonzero when the clipboard now
// holds the text, or 0 when it does not: the clipboard is open in another
// program (its content stays), no memory could be had (content stays), or
// the system refused the text after the clipboard was emptied. An empty text
// leaves the clipboard holding an empty text, not an empty clipboard.
uintptr_t CopyTextToClipboard(std::string_view text);
