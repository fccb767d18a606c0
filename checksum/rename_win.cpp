#include "checksum/rename_win.h"

#include "checksum/crc32.h"
#include "checksum/file_entry_win.h"
#include "checksum/rename_name.h"
#include "runtime/files_win.h"
#include "runtime/text.h"
#include "ui/list_view_win.h"
#include "ui/message_box_win.h"

#include <windows.h>

namespace {

constexpr int32_t kCrcColumn = 1;
constexpr uint32_t kErrorBox = MB_ICONERROR | MB_OK; // 16

void ShowRenameError(const char* what, const std::string& oldPath, const std::string& newPath) {
    ShowMessageBox("Error", ConcatText(what, "\n", oldPath, "\nTO\n", newPath), kErrorBox);
}

void RenameEntry(int32_t index, int32_t pattern, bool skipWhenLabelled) {
    std::string oldPath = EntryFullPath(index);
    std::string crc = GetListItemText(FileList, index, kCrcColumn);
    if (QueryFileSize(oldPath) <= 0 || crc.empty())
        return;
    // Renaming all leaves a path that carries its checksum, and a name that
    // carries another one: a damaged file never gets a fresh checksum
    // stamped beside the old one, which would hide the damage for good.
    if (skipWhenLabelled && ChecksumVerdict(oldPath, crc) != kNoCrcInFilename)
        return;
    std::string newPath = ComposeRenamedPath(oldPath, crc, pattern);
    if (newPath.empty())
        return;

    if (QueryFileSize(newPath) != -1) {
        ShowRenameError("File does already exist.", oldPath, newPath);
        return;
    }
    // A path longer than the system allows, or a name longer than its file
    // system allows, is refused by the move itself.
    if (!RenameFileOnDisk(oldPath, newPath))
        ShowRenameError("Couldn't rename file.", oldPath, newPath);
}

} // namespace

void RenameSelectedEntry(int32_t index, int32_t pattern) {
    RenameEntry(index, pattern, false);
}

void RenameAllEntries(int32_t count, int32_t pattern) {
    for (int32_t index = 0; index < count; ++index)
        RenameEntry(index, pattern, true);
}
