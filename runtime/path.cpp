#include "runtime/path.h"

#include "runtime/code_page.h"

namespace {

std::string_view SkipOpeningQuote(std::string_view path) {
    if (!path.empty() && path[0] == '"')
        path.remove_prefix(1);
    return path;
}

std::string CutAtQuote(std::string_view text) {
    return std::string(text.substr(0, text.find('"')));
}

} // namespace

std::string PathDirectory(std::string_view path) {
    path = SkipOpeningQuote(path);
    size_t slash = FindLastChar(path, '\\');
    if (slash == std::string_view::npos)
        return std::string();
    return CutAtQuote(path.substr(0, slash + 1));
}

std::string PathFileName(std::string_view path) {
    path = SkipOpeningQuote(path);
    size_t slash = FindLastChar(path, '\\');
    return CutAtQuote(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathExtension(std::string_view path) {
    // The nearest dot or backslash before the end, found walking forward so
    // that the second byte of a double-byte character is never taken for one.
    size_t found = std::string_view::npos;
    for (size_t at = 0; at < path.size(); at = NextCharStart(path, at))
        if (path[at] == '.' || path[at] == '\\')
            found = at;
    if (found == std::string_view::npos || path[found] != '.')
        return std::string();
    return CutAtQuote(path.substr(found + 1));
}
