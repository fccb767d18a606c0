// Paths for the system's wide file calls, past the classic limit.
//
// The classic (ANSI) file calls take a path of at most 259 UTF-16 units, made
// absolute against the current folder and normalised on the way: "/" counts
// as "\", doubled separators as one, "." and ".." components go, a folder
// name loses one trailing dot, and the last name loses its trailing dots and
// spaces ("a.txt." and "a.txt " name a.txt). The wide calls take up to 32767
// units, but only when the path is already absolute and normalised and
// carries the prefix "\\?\" ("\\?\UNC\server\share\..." for a share): then
// the system takes every name literally.
//
// These functions do that preparation the way the system does it for a
// classic path, so that a long path and a short one name the same file.
// Texts are UTF-16; nothing here touches the file system. Pure functions, no
// Win32.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest path the classic calls take, and the longest the wide calls
// take with the prefix, in UTF-16 units without the terminator.
constexpr size_t kClassicPathLimit = 259;
constexpr size_t kExtendedPathLimit = 32767;

// path made absolute against folder (an absolute folder that ends in a
// backslash, as the program's folder does) and normalised as the classic
// calls do: what GetFullPathNameW gives. Drive-relative paths ("D:name")
// count from folder when it is on that drive, else from the drive's root;
// the system counts from the drive's own current folder, which only it
// knows, so Win32 callers resolve such a path with the system first.
// "" where path names no file: empty or only spaces, a device path
// ("\\.\..." or "//./..."), or a path that needs a folder when folder is
// unusable. A path already in the "\\?\" or "\??\" form is returned as it
// is, with "/" made "\".
std::u16string FullSystemPath(std::u16string_view path, std::u16string_view folder);

// FullSystemPath with the prefix for the wide calls: "\\?\C:\..." or
// "\\?\UNC\server\share\...". "" where FullSystemPath gives "".
std::u16string ExtendedSystemPath(std::u16string_view path, std::u16string_view folder);

// ExtendedSystemPath for a path that is too long for the classic calls, as
// given or once made absolute; "" for one that they take as it is (both
// fit, or it names no file and they refuse it), so that nothing that works
// with them changes.
std::u16string LongSystemPath(std::u16string_view path, std::u16string_view folder);
