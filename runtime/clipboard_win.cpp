#include "runtime/clipboard_win.h"

#include <windows.h>

#include <cstring>

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
    // No owner window: the copy commands run without one at hand, and the
    // text is a plain CF_TEXT block that needs no owner to render it later.
    if (!OpenClipboard(nullptr))
        return 0;
    OpenedClipboard opened;
    if (text.size() >= static_cast<size_t>(-1))
        return 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    if (block == nullptr)
        return 0;
    EmptyClipboard();
    char* bytes = static_cast<char*>(GlobalLock(block));
    if (bytes == nullptr) {
        GlobalFree(block);
        return 0;
    }
    if (!text.empty())
        std::memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
    GlobalUnlock(block);
    // Once accepted the block belongs to the system; a refused one is ours
    // to release.
    HANDLE handed = SetClipboardData(CF_TEXT, block);
    if (handed == nullptr)
        GlobalFree(block);
    return reinterpret_cast<uintptr_t>(handed);
}
