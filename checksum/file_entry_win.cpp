#include "checksum/file_entry_win.h"

#include "checksum/file_entry.h"
#include "ui/list_view_win.h"

void AddWaitingEntry(const std::string& fullPath) {
    AddListItem(FileList, -1, WaitingEntryText(fullPath));
}

std::string EntryFullPath(int32_t index) {
    return FullPathOfColumnText(GetListItemText(FileList, index, 0));
}

bool EntryFullPathIfTagged(int32_t index, uint32_t tag, std::string* path) {
    std::string column;
    if (!GetListItemTextIfTagged(FileList, index, tag, 0, &column))
        return false;
    *path = FullPathOfColumnText(column);
    return true;
}

std::string EntryDisplayName(int32_t index) {
    return DisplayNameOfColumnText(GetListItemText(FileList, index, 0));
}
