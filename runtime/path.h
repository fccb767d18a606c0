// Splitting a path into folder, file name and extension.
//
// Only the backslash separates folders; a forward slash is an ordinary
// character. A double quote is never part of a result, so a path wrapped in
// double quotes gives the same results as the bare path. In a double-byte
// code page the backslash and the dot count only as whole characters (see
// code_page.h).
#pragma once

#include <string>
#include <string_view>

// Everything up to and including the last backslash; "" without one.
// "D:\dir.old\movie.avi" -> "D:\dir.old\".
std::string PathDirectory(std::string_view path);

// Everything after the last backslash; "" for a path ending in one.
// "D:\dir.old\movie.part1.avi" -> "movie.part1.avi".
std::string PathFileName(std::string_view path);

// The text after the nearest dot searching back from the end, unless a
// backslash comes first; without the dot. "D:\dir.old\README" -> "",
// ".profile" -> "profile", "archive." -> "".
std::string PathExtension(std::string_view path);
