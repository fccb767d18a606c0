#include "runtime/code_page_win.h"

#include "runtime/code_page.h"

#include <windows.h>

#include <climits>

void InitCodePage() {
    CPINFO info = {};
    std::string ranges;
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2) {
        // Pairs of bytes, ended by a pair of zeros.
        for (size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            ranges.push_back(static_cast<char>(info.LeadByte[i]));
            ranges.push_back(static_cast<char>(info.LeadByte[i + 1]));
        }
    }
    SetLeadByteRanges(ranges);
}

std::wstring SystemWideText(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], units);
    return wide;
}
