#include "app/main_window_win.h"

#include "checksum/file_entry_win.h"
#include "ui/controls_win.h"
#include "ui/list_view_win.h"
#include "ui/menu_win.h"
#include "ui/window_win.h"

#include <commctrl.h>

const char kFinalTitle[] = "Sumvane  v. 1.3";

namespace {

constexpr uint32_t kMainWindowFlags = 0x10CA0001; // centred, hidden, caption + system + minimize
constexpr uint32_t kFileListFlags = 0x40018008;   // report, one row, grid, full-row selection

const char kTipText[] = "To rename the file with the\nCRC32 in it, do a double click with\n"
                        "the left mouse key on it.\nDouble right click to change all.";

const char* const kPatternTexts[6] = {
    "FILENAME [CRC32].EXT", "FILENAME CRC32.EXT",   "FILENAME_[CRC32].EXT",
    "FILENAME_CRC32.EXT",   "FILENAME.[CRC32].EXT", "FILENAME.CRC32.EXT",
};

void CreateControls() {
    CreateTextControl(1, 10, 3, 120, 14, "Add files with Drag&&Drop");
    SetControlDisabled(1, 1);
    CreateTextControl(2, 370, 3, 100, 14, "...coded by Tarvex", 2);
    SetControlDisabled(2, 1);

    CreateListView(FileList, 10, 20, 460, 190, "Filename", 250, kFileListFlags);
    AddListColumn(FileList, 1, "CRC32", 70);
    AddListColumn(FileList, 2, "State", 120);
    AddHelpTip(0, FileList, "Renaming", kTipText);

    CreateButton(4, 10, 215, 60, 20, "Add file");
    CreateButton(5, 80, 215, 60, 20, "Clear");
    CreateButton(6, 150, 215, 80, 20, "Copy CRC32");
    CreateButton(7, 240, 215, 90, 20, "Copy Filename");
    CreateButton(8, 340, 215, 60, 20, "Copy All");
    CreateButton(9, 410, 215, 60, 20, "Quit");

    CreateFrame(0, 0, 0, 480, 240, "", 2);
}

} // namespace

HWND BuildMainWindow() {
    CreateAppWindow(0, 0, 0, 480, 240, kMainWindowFlags, "initialize");
    HWND window = SetControlParent(GetLastWindowHandle());
    if (window != nullptr)
        CreateControls();
    if (NewPopupMenu(PatternMenu) != nullptr)
        for (int32_t item = 1; item <= 6; ++item)
            AppendMenuItem(item, kPatternTexts[item - 1]);
    return window;
}

int32_t AddHelpTip(int32_t window, int32_t control, const std::string& title,
                   const std::string& text) {
    HWND tip =
        CreateWindowExA(0, TOOLTIPS_CLASSA, "", WS_POPUP | TTS_NOPREFIX, 0, 0, 0, 0,
                        GetWindowHandle(window), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (tip == nullptr)
        return 0;
    SendMessageA(tip, TTM_SETTIPTEXTCOLOR, GetSysColor(COLOR_INFOTEXT), 0);
    SendMessageA(tip, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 200);

    HWND target = GetControlHandle(control);
    TOOLINFOA tool = {};
    tool.cbSize =
        TTTOOLINFOA_V2_SIZE; // without lpReserved: 44 bytes in the i686 build, 64 in x86_64
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = target;
    tool.uId = reinterpret_cast<UINT_PTR>(target);
    std::string textCopy = text; // the tip keeps its own copy
    tool.lpszText = textCopy.data();
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!title.empty())
        SendMessageA(tip, TTM_SETTITLEA, 0, reinterpret_cast<LPARAM>(title.c_str()));
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 50);
    return 0;
}
