// sumvane_e2e_fixture: a small stand-in window on which the end-to-end tools
// are proven. It has what the tools must reach in the real program: a report
// list view (control 3) with known rows, a tooltip with a title on the list,
// dropped files, an open-file dialog, a popup menu, the clipboard and a
// message box.
//
// Usage: sumvane_e2e_fixture TITLE [EXIT_CODE [TAKES]]
// "Quit" and the close box end the program with EXIT_CODE (default 0). With
// TAKES, it also stands in for a running instance under the program's title:
// it answers every 1025 with 1, and the first TAKES 1026 with 1 (taking
// those paths) and later ones with 0 (refusing them). Every action is also
// logged on stderr, which the tests keep as the program's log.

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

const int kListId = 3;
const int kAddFileId = 4;
const int kCopyTextId = 6;
const int kMessageId = 7;
const int kQuitId = 9;
const int kFirstMenuItem = 101;
const int kMenuItems = 6;

// Known cells, byte for byte: a tab, a CR/LF pair and bytes of 0x80 and above
// must come back unchanged through the inspector.
const char* const kRows[][3] = {
    {"plain.txt > Z:\\data\\plain.txt", "CBF43926", "CRC32 in filename"},
    {"tab\there", "", "Waiting"},
    {"two\r\nlines", "0000ABCD", "42%"},
    {"caf\xe9 \xfc\xdf.bin", "FFFFFFFF", "no CRC32 in filename"},
};

const char kCopiedText[] = "first line\r\nsecond \xe9 line\r\n";
const char kTipTitle[] = "Fixture tip";
// Longer than 80 bytes on purpose: Wine's ANSI tooltip messages cut there.
const char kTipText[] = "The first line of the tip,\n"
                        "a second line that is a little longer,\n"
                        "and a third one\nto end it.";
const char kMessageTitle[] = "Fixture message";
const char kMessageText[] = "First line of the message\nsecond line";

HWND g_main = nullptr;
HWND g_list = nullptr;
HMENU g_menu = nullptr;
int g_exit_code = 0;
int g_takes = -1; // paths still taken as a running instance; -1: not one
bool g_menu_for_all = false;

void Log(const std::string& text) {
    fprintf(stderr, "fixture: %s\n", text.c_str());
    fflush(stderr);
}

int AddRow(const std::string& c0, const std::string& c1, const std::string& c2) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageA(g_list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(c0.c_str());
    int row = static_cast<int>(SendMessageA(g_list, LVM_INSERTITEMA, 0, (LPARAM)&item));
    if (row < 0)
        return row;
    const std::string* rest[] = {&c1, &c2};
    for (int column = 1; column <= 2; ++column) {
        LVITEMA sub = {};
        sub.iSubItem = column;
        sub.pszText = const_cast<char*>(rest[column - 1]->c_str());
        SendMessageA(g_list, LVM_SETITEMTEXTA, row, (LPARAM)&sub);
    }
    return row;
}

void SetState(int row, const std::string& state) {
    LVITEMA sub = {};
    sub.iSubItem = 2;
    sub.pszText = const_cast<char*>(state.c_str());
    SendMessageA(g_list, LVM_SETITEMTEXTA, row, (LPARAM)&sub);
}

void CreateList(HWND parent, HINSTANCE instance) {
    g_list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                 LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                             10, 20, 460, 190, parent, (HMENU)(INT_PTR)kListId, instance, nullptr);
    SendMessageA(g_list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const char* titles[] = {"Filename", "CRC32", "State"};
    const int widths[] = {250, 70, 120};
    for (int c = 0; c < 3; ++c) {
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = LVCFMT_LEFT;
        col.cx = widths[c];
        col.pszText = const_cast<char*>(titles[c]);
        SendMessageA(g_list, LVM_INSERTCOLUMNA, c, (LPARAM)&col);
    }
    for (const auto& row : kRows)
        AddRow(row[0], row[1], row[2]);
}

void CreateTip(HWND parent, HINSTANCE instance) {
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, "", WS_POPUP | TTS_NOPREFIX, 0, 0, 0, 0, parent,
                               nullptr, instance, nullptr);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 200);
    TOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V2_SIZE; // the classic record, without lpReserved
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = g_list;
    info.uId = (UINT_PTR)g_list;
    info.lpszText = const_cast<char*>(kTipText);
    SendMessageA(tip, TTM_ADDTOOLA, 0, (LPARAM)&info);
    SendMessageA(tip, TTM_SETTITLEA, 0, (LPARAM)kTipTitle);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 50);
}

void CreateButton(HWND parent, HINSTANCE instance, int id, const char* text, int x, int width) {
    CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, 215,
                    width, 20, parent, (HMENU)(INT_PTR)id, instance, nullptr);
}

void CreateControls(HWND hwnd) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    CreateWindowExA(0, "STATIC", "Drop files here", WS_CHILD | WS_VISIBLE, 10, 3, 200, 14, hwnd,
                    (HMENU)1, instance, nullptr);
    CreateList(hwnd, instance);
    CreateTip(hwnd, instance);
    CreateButton(hwnd, instance, kAddFileId, "Add file", 10, 60);
    CreateButton(hwnd, instance, kCopyTextId, "Copy text", 150, 80);
    CreateButton(hwnd, instance, kMessageId, "Message", 240, 90);
    CreateButton(hwnd, instance, kQuitId, "Quit", 410, 60);

    g_menu = CreatePopupMenu();
    for (int i = 0; i < kMenuItems; ++i) {
        std::string text = "Pattern " + std::to_string(i + 1);
        AppendMenuA(g_menu, MF_STRING, kFirstMenuItem + i, text.c_str());
    }
}

void CopyText() {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof kCopiedText);
    if (memory == nullptr)
        return;
    memcpy(GlobalLock(memory), kCopiedText, sizeof kCopiedText);
    GlobalUnlock(memory);
    if (!OpenClipboard(g_main)) {
        GlobalFree(memory);
        Log("clipboard busy");
        return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_TEXT, memory) == nullptr)
        GlobalFree(memory);
    CloseClipboard();
    Log("copied");
}

void ShowMessage() {
    int answer = MessageBoxA(g_main, kMessageText, kMessageTitle, MB_OK | MB_ICONERROR);
    Log("message closed " + std::to_string(answer));
    AddRow("message closed", std::to_string(answer), "");
}

// Multi-select explorer dialog: the buffer holds the folder, then each name,
// each ended by a zero byte, and one more zero at the end; a single choice
// holds the whole path alone.
void AddFiles() {
    std::vector<char> buffer(10000, '\0');
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_main;
    ofn.lpstrFilter = "Any file\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = "Choose fixture files";
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) {
        Log("dialog cancelled");
        return;
    }
    std::string first = buffer.data();
    const char* next = buffer.data() + first.size() + 1;
    if (*next == '\0') {
        AddRow(first, "", "Chosen");
        return;
    }
    while (*next != '\0') {
        std::string name = next;
        AddRow(first + "\\" + name, "", "Chosen");
        next += name.size() + 1;
    }
}

void AcceptDrop(HDROP drop) {
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        std::vector<char> path(length + 1, '\0');
        DragQueryFileA(drop, i, path.data(), length + 1);
        AddRow(std::string(path.data(), length), "", "Dropped");
        Log("dropped " + std::string(path.data(), length));
    }
    DragFinish(drop);
}

void ShowMenu(bool for_all) {
    g_menu_for_all = for_all;
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(g_menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, g_main,
                   nullptr);
}

void ChooseMenuItem(int item) {
    std::string state = "pattern " + std::to_string(item);
    if (g_menu_for_all) {
        int count = static_cast<int>(SendMessageA(g_list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row)
            SetState(row, state + " all");
    } else {
        int row =
            static_cast<int>(SendMessageA(g_list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
        if (row >= 0)
            SetState(row, state);
    }
    Log("menu " + state);
}

LRESULT OnNotify(const NMHDR* header) {
    if (header->idFrom != kListId)
        return 0;
    if (header->code == NM_DBLCLK) {
        if (SendMessageA(g_list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED) >= 0)
            ShowMenu(false);
    } else if (header->code == NM_RCLICK) {
        if (SendMessageA(g_list, LVM_GETITEMCOUNT, 0, 0) > 0)
            ShowMenu(true);
    }
    return 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND: {
        int id = LOWORD(wparam);
        if (id == kAddFileId)
            AddFiles();
        else if (id == kCopyTextId)
            CopyText();
        else if (id == kMessageId)
            ShowMessage();
        else if (id == kQuitId)
            PostQuitMessage(g_exit_code);
        else if (id >= kFirstMenuItem && id < kFirstMenuItem + kMenuItems)
            ChooseMenuItem(id - kFirstMenuItem + 1);
        return 0;
    }
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lparam));
    case WM_DROPFILES:
        AcceptDrop(reinterpret_cast<HDROP>(wparam));
        return 0;
    case WM_CLOSE:
        PostQuitMessage(g_exit_code);
        return 0;
    case WM_USER + 1:
    case WM_USER + 2:
        if (g_takes < 0)
            return DefWindowProcA(hwnd, message, wparam, lparam);
        if (message == WM_USER + 1)
            return 1;
        Log(g_takes > 0 ? "took a path" : "refused a path");
        if (g_takes == 0)
            return 0;
        --g_takes;
        return 1;
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: sumvane_e2e_fixture TITLE [EXIT_CODE [TAKES]]\n", stderr);
        return 2;
    }
    const char* title = argv[1];
    if (argc > 2)
        g_exit_code = atoi(argv[2]);
    if (argc > 3)
        g_takes = atoi(argv[3]);

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "SumvaneE2EFixture";
    RegisterClassA(&wc);

    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer = {0, 0, 480, 240};
    AdjustWindowRect(&outer, style, FALSE);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    g_main = CreateWindowExA(0, wc.lpszClassName, title, style, x, y, width, height, nullptr,
                             nullptr, instance, nullptr);
    if (g_main == nullptr)
        return 3;
    CreateControls(g_main);
    DragAcceptFiles(g_main, TRUE);
    ShowWindow(g_main, SW_SHOWNORMAL);
    UpdateWindow(g_main);
    Log("started, process " + std::to_string(GetCurrentProcessId()));

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyWindow(g_main);
    Log("ended with " + std::to_string(static_cast<int>(msg.wParam)));
    return static_cast<int>(msg.wParam);
}
