#include "ui/control_styles.h"

namespace {

constexpr uint32_t kChildVisibleGroup = 0x50020000; // WS_CHILD | WS_VISIBLE | WS_GROUP
constexpr uint32_t kTabStop = 0x00010000;           // WS_TABSTOP
constexpr uint32_t kClientEdge = 0x200;             // WS_EX_CLIENTEDGE
constexpr uint32_t kStaticEdge = 0x20000;           // WS_EX_STATICEDGE
constexpr uint32_t kListSingleSelection = 0x4;      // LVS_SINGLESEL

} // namespace

ControlStyle TextControlStyle(uint32_t flags) {
    return {"STATIC", kChildVisibleGroup | flags, (flags & 0x20000) ? kClientEdge : 0};
}

ControlStyle ButtonStyle() {
    return {"BUTTON", kChildVisibleGroup | kTabStop, 0};
}

ControlStyle FrameStyle(uint32_t flags) {
    switch (flags) {
    case 0:
        return {"BUTTON", 0x50020007, 0}; // BS_GROUPBOX
    case 1:
        return {"STATIC", 0x54020001, kClientEdge};
    case 2:
        return {"STATIC", 0x54020001, kStaticEdge};
    default:
        return {"STATIC", 0x54820001, 0}; // with WS_BORDER
    }
}

ListViewStyle DecodeListViewFlags(uint32_t flags) {
    ListViewStyle result{};
    // WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_SHAREIMAGELISTS | LVS_REPORT
    uint32_t style = flags | 0x50010041;
    if (flags & kListSingleSelection)
        style &= ~kListSingleSelection;
    else
        style |= kListSingleSelection;
    result.style = style;

    uint32_t extended = 0;
    if (flags & 0x10000)
        extended |= 0x1; // LVS_EX_GRIDLINES
    if (flags & 0x40000000)
        extended |= 0x20; // LVS_EX_FULLROWSELECT
    if (flags & 0x10000000)
        extended |= 0x10; // LVS_EX_HEADERDRAGDROP
    if (flags & 0x1)
        extended |= 0x4; // LVS_EX_CHECKBOXES
    result.extendedLvStyle = extended;
    result.exStyle = kClientEdge;
    return result;
}

std::vector<std::string> SplitColumnTexts(std::string_view text) {
    std::vector<std::string> columns;
    size_t start = 0;
    for (;;) {
        size_t feed = text.find('\n', start);
        if (feed == std::string_view::npos) {
            // The last piece; after a trailing line feed it is empty and adds
            // nothing (except for column 0, which always exists).
            if (start < text.size() || columns.empty())
                columns.emplace_back(text.substr(start));
            return columns;
        }
        columns.emplace_back(text.substr(start, feed - start));
        start = feed + 1;
    }
}
