#include "runtime/clipboard_win.h"

#include "runtime/code_page_win.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

// Closes the clipboard on every way out.
struct OpenedClipboard {
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    OpenedClipboard() = default;
    ~OpenedClipboard() { CloseClipboard(); }
};

} // namespace

uintptr_t CopyTextToClipboard(std::string_view text) {
    // The text goes on as Unicode, converted from the program's code page.
    // A program that asks for CF_TEXT then gets what the system makes of it
    // in the code page of the clipboard's locale: the same bytes for ASCII,
    // and never the UTF-8 bytes of a UTF-8 process, which other programs
    // would read in their own code page.
    std::wstring wide = SystemWideText(text);
    if (wide.size() >= static_cast<size_t>(-1) / sizeof(wchar_t) - 1)
        return 0;
    // No owner window: the copy commands run without one at hand, and the
    // text is a finished block that needs no owner to render it later.
    if (!OpenClipboard(nullptr))
        return 0;
    OpenedClipboard opened;
    size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes);
    if (block == nullptr)
        return 0;
    EmptyClipboard();
    auto* units = static_cast<wchar_t*>(GlobalLock(block));
    if (units == nullptr) {
        GlobalFree(block);
        return 0;
    }
    if (!wide.empty())
        std::memcpy(units, wide.data(), wide.size() * sizeof(wchar_t));
    units[wide.size()] = L'\0';
    GlobalUnlock(block);
    // Once accepted the block belongs to the system; a refused one is ours
    // to release.
    HANDLE handed = SetClipboardData(CF_UNICODETEXT, block);
    if (handed == nullptr)
        GlobalFree(block);
    return reinterpret_cast<uintptr_t>(handed);
}
