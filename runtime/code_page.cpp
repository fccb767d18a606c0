#include "runtime/code_page.h"

#include <array>

namespace {

std::array<bool, 256> g_leadBytes{};

} // namespace

void SetLeadByteRanges(std::string_view ranges) {
    g_leadBytes.fill(false);
    for (size_t i = 0; i + 1 < ranges.size(); i += 2) {
        auto first = static_cast<unsigned char>(ranges[i]);
        auto last = static_cast<unsigned char>(ranges[i + 1]);
        for (unsigned c = first; c <= last; ++c)
            g_leadBytes[c] = true;
    }
}

bool IsLeadByte(unsigned char c) {
    return g_leadBytes[c];
}

size_t NextCharStart(std::string_view text, size_t at) {
    if (at + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[at])))
        return at + 2;
    return at + 1;
}

size_t FindLastChar(std::string_view text, char c) {
    size_t found = std::string_view::npos;
    for (size_t at = 0; at < text.size(); at = NextCharStart(text, at))
        if (text[at] == c)
            found = at;
    return found;
}

bool EndsWithChar(std::string_view text, char c) {
    size_t last = FindLastChar(text, c);
    return last != std::string_view::npos && last + 1 == text.size();
}
