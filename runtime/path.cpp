#include "runtime/path.h"

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
    size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos)
        return std::string();
    return CutAtQuote(path.substr(0, slash + 1));
}

std::string PathFileName(std::string_view path) {
    path = SkipOpeningQuote(path);
    size_t slash = path.rfind('\\');
    return CutAtQuote(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathExtension(std::string_view path) {
    size_t found = path.find_last_of(".\\");
    if (found == std::string_view::npos || path[found] != '.')
        return std::string();
    return CutAtQuote(path.substr(found + 1));
}
