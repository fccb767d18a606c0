#include "ui/file_dialog_win.h"

#include "ui/chosen_files.h"
#include "ui/message_box_win.h"

#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace {

// The dialog's result: a full path, or a folder and names, each ended by a
// zero byte. A name in UTF-8 takes up to three bytes a character, so the
// buffer holds a thousand names of the longest kind the system allows. A
// choice that does not fit makes the dialog fail, and nothing is cut.
constexpr DWORD kResultSize = 1 << 20;

ChosenFiles g_walk;

} // namespace

std::string AskOpenFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& pattern, int32_t patternPosition, int32_t flags) {
    g_walk = ChosenFiles{};
    std::vector<char> result(kResultSize, '\0');
    std::string filter = MakeDialogFilter(pattern);

    DefaultFile start = SplitDefaultFile(defaultFile);
    // The name box text, cut so that it and its terminator fit the buffer.
    start.fileName.copy(result.data(), std::min<size_t>(start.fileName.size(), kResultSize - 1));

    ModalScope modal;
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = modal.owner();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(patternPosition + 1);
    dialog.lpstrFile = result.data();
    dialog.nMaxFile = kResultSize;
    dialog.lpstrInitialDir = start.hasInitialDirectory ? start.initialDirectory.c_str() : nullptr;
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (flags & 1)
        dialog.Flags |= OFN_ALLOWMULTISELECT;

    BOOL chosen = GetOpenFileNameA(&dialog);
    if (!chosen)
        return std::string();
    if ((flags & 1) == 0) {
        result.back() = '\0';
        return std::string(result.data());
    }
    return FirstChosenFile(g_walk, result.data(), result.size());
}

std::string NextChosenFileName() {
    return NextChosenFile(g_walk);
}
