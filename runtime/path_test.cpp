#include "runtime/path.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* path;
    const char* directory;
    const char* fileName;
    const char* extension;
};

const PathCase kPaths[] = {
    {"D:\\dir.old\\movie.part1.avi", "D:\\dir.old\\", "movie.part1.avi", "avi"},
    {"D:\\dir.old\\README", "D:\\dir.old\\", "README", ""},
    {"archive.", "", "archive.", ""},
    {".profile", "", ".profile", "profile"},
    {"D:\\a\\b\\", "D:\\a\\b\\", "", ""},
    {"file.txt", "", "file.txt", "txt"},
    {"D:\\temp\\", "D:\\temp\\", "", ""},
    {"C:\\my.dir\\README", "C:\\my.dir\\", "README", ""},
    {"a.txt.b.TXT", "", "a.txt.b.TXT", "TXT"},
    {"", "", "", ""},
    {"\\", "\\", "", ""},
    {"C:\\", "C:\\", "", ""},
    {"x/y.z\\w", "x/y.z\\", "w", ""},
    {"dir/file.ext", "", "dir/file.ext", "ext"},
    {"C:\\Music\\Track 01.mp3", "C:\\Music\\", "Track 01.mp3", "mp3"},
    // Wrapped in double quotes: the same results as the bare path.
    {"\"D:\\dir.old\\movie.part1.avi\"", "D:\\dir.old\\", "movie.part1.avi", "avi"},
    {"\"D:\\dir.old\\README\"", "D:\\dir.old\\", "README", ""},
    {"\".profile\"", "", ".profile", "profile"},
    {"\"file.txt\"", "", "file.txt", "txt"},
    {"\"D:\\temp\\\"", "D:\\temp\\", "", ""},
    // A quote inside cuts the result there.
    {"C:\\a\"b\\c.d\"e", "C:\\a", "c.d", "d"},
};

TEST(PathParts, SplitIntoDirectoryFileNameAndExtension) {
    for (const auto& c : kPaths) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.directory, PathDirectory(c.path));
        EXPECT_EQ(c.fileName, PathFileName(c.path));
        EXPECT_EQ(c.extension, PathExtension(c.path));
    }
}

TEST(PathParts, DirectoryAndFileNameRebuildTheUnquotedPath) {
    for (const auto& c : kPaths) {
        std::string path = c.path;
        if (path.find('"') != std::string::npos)
            continue;
        EXPECT_EQ(path, PathDirectory(path) + PathFileName(path));
    }
}

} // namespace
