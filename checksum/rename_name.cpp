#include "checksum/rename_name.h"

#include "runtime/path.h"
#include "runtime/text.h"

namespace {

const RenameSeparators kRenameSeparators[6] = {
    {" [", "]."}, {" ", "."}, {"_[", "]."}, {"_", "."}, {".[", "]."}, {".", "."},
};

} // namespace

bool RenameSeparatorsOf(int32_t pattern, RenameSeparators* separators) {
    if (pattern < 1 || pattern > 6)
        return false;
    *separators = kRenameSeparators[pattern - 1];
    return true;
}

std::string ComposeRenamedPath(std::string_view oldPath, std::string_view crcText,
                               int32_t pattern) {
    RenameSeparators separators;
    if (!RenameSeparatorsOf(pattern, &separators))
        return std::string();
    std::string extension = PathExtension(oldPath);
    std::string base =
        RemoveAllOccurrences(PathFileName(oldPath), ConcatText(".", extension), true);
    return ConcatText(PathDirectory(oldPath), base, separators.before, crcText, separators.after,
                      extension);
}
