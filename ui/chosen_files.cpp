#include "ui/chosen_files.h"

#include "runtime/code_page.h"

#include <cstring>

namespace {

// The name starting at offset, if a zero byte ends it inside the buffer.
bool CompleteNameAt(const std::vector<char>& buffer, size_t offset, std::string* name) {
    if (offset >= buffer.size())
        return false;
    const char* start = buffer.data() + offset;
    const void* zero = std::memchr(start, 0, buffer.size() - offset);
    if (zero == nullptr)
        return false;
    name->assign(start, static_cast<const char*>(zero));
    return true;
}

} // namespace

std::string FirstChosenFile(ChosenFiles& walk, const char* buffer, size_t size) {
    walk.result.assign(buffer, buffer + (buffer != nullptr ? size : 0));
    walk.directory.clear();
    walk.position = 0;

    std::string first;
    if (!CompleteNameAt(walk.result, 0, &first) || first.empty())
        return std::string();
    size_t afterFirst = first.size() + 1;
    if (afterFirst >= walk.result.size() || walk.result[afterFirst] == '\0') {
        // One file: the buffer holds its full path.
        return first;
    }
    std::string second;
    if (!CompleteNameAt(walk.result, afterFirst, &second))
        return std::string();
    walk.directory = first;
    if (!EndsWithChar(walk.directory, '\\'))
        walk.directory.push_back('\\');
    walk.position = afterFirst + second.size() + 1;
    return walk.directory + second;
}

std::string NextChosenFile(ChosenFiles& walk) {
    if (walk.position == 0)
        return std::string();
    std::string name;
    if (!CompleteNameAt(walk.result, walk.position, &name) || name.empty()) {
        walk.position = 0;
        return std::string();
    }
    walk.position += name.size() + 1;
    return walk.directory + name;
}

std::string MakeDialogFilter(std::string_view pattern) {
    std::string filter(pattern);
    for (char& c : filter)
        if (c == '|')
            c = '\0';
    filter.append(2, '\0');
    return filter;
}

DefaultFile SplitDefaultFile(std::string_view defaultFile) {
    DefaultFile result{};
    if (defaultFile.empty())
        return result;
    result.hasInitialDirectory = true;
    size_t slash = FindLastChar(defaultFile, '\\');
    if (slash == std::string_view::npos || slash == 0) {
        result.fileName = std::string(defaultFile);
        return result;
    }
    result.initialDirectory = std::string(defaultFile.substr(0, slash));
    result.fileName = std::string(defaultFile.substr(slash + 1));
    return result;
}
