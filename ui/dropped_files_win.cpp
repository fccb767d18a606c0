#include "ui/dropped_files_win.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Zero-terminated texts of char or wchar_t from the list's start, up to the
// empty one that ends the list or to the end of the block.
template <typename Char, typename Take>
void WalkList(const unsigned char* list, size_t bytes, Take take) {
    std::basic_string<Char> units(bytes / sizeof(Char), Char());
    if (!units.empty())
        std::memcpy(&units[0], list, units.size() * sizeof(Char));
    size_t at = 0;
    for (;;) {
        size_t end = units.find(Char(), at);
        if (end == std::basic_string<Char>::npos || end == at)
            return;
        take(units.data() + at, end - at);
        at = end + 1;
    }
}

std::string NarrowText(const wchar_t* text, size_t length) {
    int units = static_cast<int>(length);
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, units, &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

} // namespace

std::vector<std::string> DroppedFilePaths(HDROP drop) {
    std::vector<std::string> paths;
    SIZE_T size = GlobalSize(drop);
    const auto* block = static_cast<const unsigned char*>(GlobalLock(drop));
    if (block == nullptr)
        return paths;
    DROPFILES header;
    if (size >= sizeof header) {
        std::memcpy(&header, block, sizeof header);
        if (header.pFiles >= sizeof header && header.pFiles < size) {
            const unsigned char* list = block + header.pFiles;
            size_t bytes = size - header.pFiles;
            if (header.fWide)
                WalkList<wchar_t>(list, bytes, [&](const wchar_t* text, size_t length) {
                    paths.push_back(NarrowText(text, length));
                });
            else
                WalkList<char>(list, bytes, [&](const char* text, size_t length) {
                    paths.emplace_back(text, length);
                });
        }
    }
    GlobalUnlock(drop);
    return paths;
}
