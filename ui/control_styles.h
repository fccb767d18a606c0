// Window styles of the layer's controls, decoded from the application's flag
// words, and the splitting of a list row's text into its column texts. Pure
// functions, no Win32; the numbers are Win32's own style bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ControlStyle {
    const char* className; // "STATIC", "BUTTON" or "SysListView32"
    uint32_t style;
    uint32_t exStyle;
};

// A static text: flag 1 centres, flag 2 right-aligns; flag 0x20000 adds a
// sunken client edge.
ControlStyle TextControlStyle(uint32_t flags);

// A push button with a tab stop.
ControlStyle ButtonStyle();

// A frame: flags 0 a group box with its caption, 1 a sunken rectangle, 2 a
// rectangle with a thin static edge, anything else a bordered rectangle.
ControlStyle FrameStyle(uint32_t flags);

struct ListViewStyle {
    uint32_t style;           // the window style (report view, single selection unless flag 4)
    uint32_t extendedLvStyle; // for LVM_SETEXTENDEDLISTVIEWSTYLE; 0 = none
    uint32_t exStyle;         // the extended window style (sunken client edge)
};

// The list view's flag word: every bit is a list view style, plus report view,
// shared image lists and a tab stop; flag 4 allows several selected rows.
// Flags 0x10000, 0x40000000, 0x10000000 and 1 also turn on grid lines,
// full-row selection, header drag-and-drop and check boxes.
ListViewStyle DecodeListViewFlags(uint32_t flags);

// The column texts of one row given as one text: the pieces between line
// feeds, column 0 first. A text without a line feed fills column 0 only, a
// trailing line feed adds nothing, and two line feeds in a row give an empty
// column between them. The empty text gives one empty column.
std::vector<std::string> SplitColumnTexts(std::string_view text);
