#include "runtime/extended_path.h"

#include <vector>

namespace {

bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

char16_t Upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The length of the root of an absolute path (separators already "\"):
// "C:\" or "\\server\share\" (with every separator after the share); 0 when
// path is neither.
size_t RootLength(std::u16string_view path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == u':' && path[2] == u'\\')
        return 3;
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        size_t at = 2;
        for (int part = 0; part < 2; ++part) {
            while (at < path.size() && path[at] != u'\\')
                ++at;
            while (at < path.size() && path[at] == u'\\')
                ++at;
        }
        return at;
    }
    return 0;
}

// The root of folder that a rooted path ("\name") starts from: "C:" or
// "\\server\share".
std::u16string_view FolderRoot(std::u16string_view folder) {
    size_t root = RootLength(folder);
    if (root == 0)
        return {};
    return folder.substr(0, folder[1] == u':' ? 2 : root - 1);
}

// Removes ".", ".." and doubled separators after the root, one trailing dot
// from each folder name, and the trailing dots and spaces of the last name.
std::u16string Collapse(const std::u16string& path, size_t root) {
    std::vector<std::u16string_view> names;
    std::u16string_view rest = std::u16string_view(path).substr(root);
    bool endsInSeparator = false;
    size_t at = 0;
    while (at < rest.size()) {
        size_t end = rest.find(u'\\', at);
        bool last = end == std::u16string_view::npos;
        std::u16string_view name = rest.substr(at, last ? std::u16string_view::npos : end - at);
        at = last ? rest.size() : end + 1;
        endsInSeparator = !last && at == rest.size();
        if (name.empty())
            continue;
        if (name == u".") {
            endsInSeparator = endsInSeparator && !last;
            continue;
        }
        if (name == u"..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        if (!last && name.back() == u'.')
            name.remove_suffix(1);
        names.push_back(name);
    }
    std::u16string out = path.substr(0, root);
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out.push_back(u'\\');
        out.append(names[i]);
    }
    if (endsInSeparator && !names.empty())
        out.push_back(u'\\');
    while (out.size() > root && (out.back() == u' ' || out.back() == u'.'))
        out.pop_back();
    return out;
}

// "\\?\..." and "\??\...": already for the wide calls, which take them
// as they are.
bool IsForWideCalls(std::u16string_view path) {
    return path.size() >= 4 && path[0] == u'\\' && path[2] == u'?' && path[3] == u'\\' &&
           (path[1] == u'\\' || path[1] == u'?');
}

} // namespace

std::u16string FullSystemPath(std::u16string_view given, std::u16string_view folder) {
    if (given.find_first_not_of(u' ') == std::u16string_view::npos)
        return {};
    std::u16string path(given);
    for (char16_t& c : path)
        if (c == u'/')
            c = u'\\';
    // Tested once "/" is "\": "//./C:/x" is a device path too, not a share.
    if (IsForWideCalls(path))
        return path;
    if (path.compare(0, 4, u"\\\\.\\") == 0)
        return {};
    std::u16string absolute;
    if (RootLength(path) > 0) {
        absolute = path;
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':') {
        // "D:name": from folder when it is on D:, else from D:'s root.
        if (folder.size() >= 3 && Upper(folder[0]) == Upper(path[0]) && folder[1] == u':')
            absolute = std::u16string(folder) + path.substr(2);
        else
            absolute = path.substr(0, 2) + u"\\" + path.substr(2);
    } else {
        std::u16string_view root = FolderRoot(folder);
        if (root.empty())
            return {};
        if (path[0] == u'\\')
            absolute = std::u16string(root) + path;
        else
            absolute = std::u16string(folder) + path;
    }
    size_t root = RootLength(absolute);
    if (root == 0)
        return {};
    // A share's root ends in one separator, if it has any.
    std::u16string out = absolute.substr(0, root);
    if (out[1] == u'\\') {
        size_t keep = out.find_last_not_of(u'\\') + 1;
        bool separated = keep < out.size();
        out.resize(keep);
        if (separated)
            out.push_back(u'\\');
    }
    out += absolute.substr(root);
    root = RootLength(out);
    return Collapse(out, root);
}

namespace {

std::u16string Prefixed(std::u16string full) {
    if (full.empty() || IsForWideCalls(full))
        return full;
    if (full[1] == u'\\')
        return u"\\\\?\\UNC\\" + full.substr(2);
    return u"\\\\?\\" + full;
}

} // namespace

std::u16string ExtendedSystemPath(std::u16string_view path, std::u16string_view folder) {
    return Prefixed(FullSystemPath(path, folder));
}

std::u16string LongSystemPath(std::u16string_view path, std::u16string_view folder) {
    // The classic calls refuse a text over the limit as it is given, however
    // short it becomes: ninety "..\" before a name, or runs of ".\".
    std::u16string full = FullSystemPath(path, folder);
    if (full.size() <= kClassicPathLimit && path.size() <= kClassicPathLimit)
        return std::u16string();
    return Prefixed(std::move(full));
}
