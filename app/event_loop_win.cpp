#include "app/copy_all_text.h"
#include "app/main_window_win.h"
#include "app/program_win.h"
#include "checksum/checksum_worker_win.h"
#include "checksum/file_entry_win.h"
#include "checksum/rename_win.h"
#include "runtime/clipboard_win.h"
#include "runtime/files_win.h"
#include "ui/controls_win.h"
#include "ui/dropped_files_win.h"
#include "ui/events_win.h"
#include "ui/file_dialog_win.h"
#include "ui/list_view_win.h"
#include "ui/menu_win.h"
#include "ui/window_win.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace {

// Whether the rename menu was opened for the selected entry (0) or for all
// entries (1), and the entry index or entry count at that moment.
int32_t RenameScope = 0;
int32_t MenuEntryIndex = 0;
int32_t MenuEntryCount = 0;

constexpr int32_t kCrcColumn = 1;

enum Control : int32_t {
    kAddFile = 4,
    kClear = 5,
    kCopyCrc = 6,
    kCopyFilename = 7,
    kCopyAll = 8,
    kQuit = 9,
};

void OpenMenuForSelectedEntry() {
    int32_t index = GetSelectedIndex(FileList);
    if (index < 0)
        return;
    MenuEntryIndex = index;
    RenameScope = 0;
    ShowPopupMenu(PatternMenu, GetWindowHandle(0));
}

void OpenMenuForAllEntries() {
    int32_t count = CountListItems(FileList);
    if (count < 1)
        return;
    MenuEntryCount = count;
    RenameScope = 1;
    ShowPopupMenu(PatternMenu, GetWindowHandle(0));
}

void RenameWithPattern(int32_t pattern) {
    if (pattern < 1 || pattern > 6)
        return;
    if (RenameScope != 0)
        RenameAllEntries(MenuEntryCount, pattern);
    else
        RenameSelectedEntry(MenuEntryIndex, pattern);
}

void AddIfNotEmpty(const std::string& path) {
    if (QueryFileSize(path) >= 1)
        AddWaitingEntry(path);
}

void AddFile() {
    std::string path = AskOpenFileName("Choose a file for CRC32 check", "", "Any file|*.*", 0, 1);
    AddIfNotEmpty(path);
    while (!path.empty()) {
        path = NextChosenFileName();
        AddIfNotEmpty(path);
    }
}

void CopyCrc() {
    int32_t index = GetSelectedIndex(FileList);
    if (index >= 0)
        CopyTextToClipboard(GetListItemText(FileList, index, kCrcColumn));
}

void CopyFilename() {
    int32_t index = GetSelectedIndex(FileList);
    if (index >= 0)
        CopyTextToClipboard(EntryDisplayName(index));
}

void CopyAll() {
    int32_t count = CountListItems(FileList);
    if (count < 1)
        return;
    std::string text;
    for (int32_t row = 0; row < count; ++row)
        AppendCopyAllLine(text, EntryDisplayName(row), GetListItemText(FileList, row, kCrcColumn));
    CopyTextToClipboard(text);
}

void TakeDrop(HDROP drop) {
    for (const std::string& path : DroppedFilePaths(drop))
        AddIfNotEmpty(path);
    DragFinish(drop);
}

void HandleControlEvent(int32_t control, int32_t type) {
    switch (control) {
    case FileList:
        if (type == 2)
            OpenMenuForSelectedEntry();
        else if (type == 1)
            OpenMenuForAllEntries();
        break;
    case kAddFile:
        AddFile();
        ChecksumScheduler(); // the first new file starts now, not at the next tick
        break;
    case kClear:
        ClearListItems(FileList);
        break;
    case kCopyCrc:
        CopyCrc();
        break;
    case kCopyFilename:
        CopyFilename();
        break;
    case kCopyAll:
        CopyAll();
        break;
    case kQuit:
        Shutdown();
    default:
        break;
    }
}

} // namespace

void RunEventLoop() {
    for (;;) {
        switch (WaitForEvent()) {
        case kControlEvent:
            HandleControlEvent(GetEventControl(), GetEventType());
            break;
        case kMenuEvent:
            RenameWithPattern(GetEventMenuItem());
            break;
        case WM_DROPFILES:
            TakeDrop(reinterpret_cast<HDROP>(GetEventWParam()));
            ChecksumScheduler();
            break;
        case kCloseEvent:
            Shutdown();
        default:
            break;
        }
    }
}
