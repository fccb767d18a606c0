#include "checksum/file_entry_win.h"

#include "checksum/file_entry.h"
#include "ui/list_view_win.h"

void AddWaitingEntry(const std::string& fullPath) {
    AddListItem(FileList, -1, WaitingEntryText(fullPath));
}

std::string EntryFullPath(int32_t index) {
    return FullPathOfColumnText(GetListItemText(FileList, index, 0));
}

std::string EntryDisplayName(int32_t index) {
    return DisplayNameOfColumnText(GetListItemText(FileList, index, 0));
}
