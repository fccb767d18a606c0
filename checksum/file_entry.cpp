#include "checksum/file_entry.h"

#include "runtime/path.h"
#include "runtime/text.h"

std::string WaitingEntryText(std::string_view fullPath) {
    return ConcatText(PathFileName(fullPath), " > ", fullPath, "\n\nWaiting");
}

std::string FullPathOfColumnText(std::string_view column0) {
    return TrimSpaces(GetTextField(column0, 2, ">"));
}

std::string DisplayNameOfColumnText(std::string_view column0) {
    return TrimSpaces(GetTextField(column0, 1, ">"));
}
