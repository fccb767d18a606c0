#include "runtime/path.h"

#include "runtime/code_page.h"
#include "runtime/extended_path.h"
#include "runtime/text.h"

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

// The lead-byte ranges of the East Asian double-byte code pages, as the
// system lists them, while a test runs.
class LeadBytes {
  public:
    explicit LeadBytes(const char* ranges) { SetLeadByteRanges(ranges); }
    ~LeadBytes() { SetLeadByteRanges(""); }
};

const char kCp932[] = "\x81\x9F\xE0\xFC";
const char kCp936[] = "\x81\xFE"; // also 949 and 950

// Second bytes that look like a backslash, a letter or a bracket: in 932,
// \x97\x5C is 予 and \x95\x5C is 表, \x83\x41 is ア; in 936, \x81\x5C is 乗 and
// \x81\x41 is 丄; in 949, \x81\x41 is 갂; in 950, \xA4\x5C is 么.
TEST(PathParts, DoubleByteCharactersAreNeverSplit) {
    struct {
        const char* ranges;
        const char* path;
        const char* directory;
        const char* fileName;
        const char* extension;
        bool endsWithBackslash;
        const char* crc; // searched for in the path, letter case ignored
        bool carried;
    } cases[] = {
        {kCp932, "C:\\\x97\x5C\x92\xE8\x95\x5C.txt", "C:\\", "\x97\x5C\x92\xE8\x95\x5C.txt", "txt",
         false, "", false},
        {kCp932, "C:\\d\\data.\x95\x5C", "C:\\d\\", "data.\x95\x5C", "\x95\x5C", false, "", false},
        {kCp932,
         "C:\\\x83"
         "A05F59FA.bin",
         "C:\\",
         "\x83"
         "A05F59FA.bin",
         "bin", false, "A05F59FA", false},
        {kCp932, "C:\\\x83\x41 A05F59FA.bin", "C:\\", "\x83\x41 A05F59FA.bin", "bin", false,
         "a05f59fa", true},
        {kCp932, "C:\\\x95\x5C\\", "C:\\\x95\x5C\\", "", "", true, "", false},
        // The top of 932's second lead-byte range.
        {kCp932, "C:\\\xFC\x5C.txt", "C:\\", "\xFC\x5C.txt", "txt", false, "", false},
        {kCp936, "D:\\\x81\x5C.\x81\x41", "D:\\", "\x81\x5C.\x81\x41", "\x81\x41", false, "",
         false},
        {kCp936, "D:\\\x81\x41\x42\x43\x44\x45\x46\x30\x31\x32", "D:\\",
         "\x81\x41\x42\x43\x44\x45\x46\x30\x31\x32", "", false, "ABCDEF01", false},
        {kCp936, "D:\\\xA4\x5C\\x.bin", "D:\\\xA4\x5C\\", "x.bin", "bin", false, "", false},
        // A lead byte cut off at the very end is a character of its own.
        {kCp932, "C:\\a.\x95", "C:\\", "a.\x95", "\x95", false, "", false},
        // Single-byte and UTF-8 code pages keep the byte walk: 0x5C always
        // separates there.
        {"", "C:\\\x97\x5C\x92.txt", "C:\\\x97\\", "\x92.txt", "txt", false, "", false},
        {"",
         "C:\\\x83"
         "A05F59FA.bin",
         "C:\\",
         "\x83"
         "A05F59FA.bin",
         "bin", false, "A05F59FA", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LeadBytes lead(c.ranges);
        EXPECT_EQ(c.directory, PathDirectory(c.path));
        EXPECT_EQ(c.fileName, PathFileName(c.path));
        EXPECT_EQ(c.extension, PathExtension(c.path));
        EXPECT_EQ(c.endsWithBackslash, EndsWithChar(c.path, '\\'));
        EXPECT_EQ(c.carried, RemoveAllOccurrences(c.path, c.crc, true) != c.path);
    }
}

std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Ascii(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// What the wide file calls get for a path that the classic calls would
// resolve and normalise on their own.
TEST(ExtendedPath, AbsoluteNormalisedAndPrefixedAsTheSystemResolvesAClassicPath) {
    const char* prog = "C:\\Program Files\\Sumvane\\";
    const char* share = "\\\\srv\\share\\tools\\";
    const struct {
        const char* path;
        const char* folder;
        const char* full;
        const char* extended;
    } cases[] = {
        {"a\\b.txt", prog, "C:\\Program Files\\Sumvane\\a\\b.txt",
         "\\\\?\\C:\\Program Files\\Sumvane\\a\\b.txt"},
        {"f.txt", share, "\\\\srv\\share\\tools\\f.txt", "\\\\?\\UNC\\srv\\share\\tools\\f.txt"},
        {"\\\\server\\share\\dir\\f.txt", prog, "\\\\server\\share\\dir\\f.txt",
         "\\\\?\\UNC\\server\\share\\dir\\f.txt"},
        {"\\\\server\\share", prog, "\\\\server\\share", "\\\\?\\UNC\\server\\share"},
        // The last name loses its trailing dots and spaces, a folder one dot.
        {"D:\\dir\\a.txt. .", prog, "D:\\dir\\a.txt", "\\\\?\\D:\\dir\\a.txt"},
        {"D:\\dir.\\a..\\b ", prog, "D:\\dir\\a.\\b", "\\\\?\\D:\\dir\\a.\\b"},
        {"D:\\a b \\c", prog, "D:\\a b \\c", "\\\\?\\D:\\a b \\c"},
        {"D:\\a\\b\\..\\c\\.\\d.txt", prog, "D:\\a\\c\\d.txt", "\\\\?\\D:\\a\\c\\d.txt"},
        {"D:\\..\\..\\a", prog, "D:\\a", "\\\\?\\D:\\a"},
        {"D:\\..\\a", prog, "D:\\a", "\\\\?\\D:\\a"},
        {"..\\..\\..\\x", share, "\\\\srv\\share\\x", "\\\\?\\UNC\\srv\\share\\x"},
        {"..\\..\\x", share, "\\\\srv\\share\\x", "\\\\?\\UNC\\srv\\share\\x"},
        {"D:\\a\\.", prog, "D:\\a", "\\\\?\\D:\\a"},
        {"D:\\a\\..\\", prog, "D:\\", "\\\\?\\D:\\"},
        {"D:/a//b\\\\c\\", prog, "D:\\a\\b\\c\\", "\\\\?\\D:\\a\\b\\c\\"},
        // Rooted and drive-relative paths.
        {"\\x\\y", prog, "C:\\x\\y", "\\\\?\\C:\\x\\y"},
        {"\\x\\y", share, "\\\\srv\\share\\x\\y", "\\\\?\\UNC\\srv\\share\\x\\y"},
        {"c:x", prog, "C:\\Program Files\\Sumvane\\x", "\\\\?\\C:\\Program Files\\Sumvane\\x"},
        {"E:x", prog, "E:\\x", "\\\\?\\E:\\x"},
        // Already for the wide calls, or naming no file.
        {"\\\\?\\D:\\a. ", prog, "\\\\?\\D:\\a. ", "\\\\?\\D:\\a. "},
        {"\\??\\C:\\x", prog, "\\??\\C:\\x", "\\??\\C:\\x"},
        {"\\\\.\\COM1", prog, "", ""},
        {"//./C:/x", prog, "", ""},
        {"   ", prog, "", ""},
        {"", prog, "", ""},
        {"a.txt", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " in " + c.folder);
        EXPECT_EQ(c.full, Ascii(FullSystemPath(U16(c.path), U16(c.folder))));
        EXPECT_EQ(c.extended, Ascii(ExtendedSystemPath(U16(c.path), U16(c.folder))));
    }
    // A path goes to the classic calls as it is while both the text and its
    // full form fit.
    std::string name(259 - 3, 'n');
    EXPECT_EQ("", Ascii(LongSystemPath(U16("D:\\" + name), U16(prog))));
    EXPECT_EQ("\\\\?\\D:\\" + name,
              Ascii(LongSystemPath(U16("D:\\" + name + "\\x\\.."), U16(prog))));
    EXPECT_EQ("\\\\?\\D:\\" + name + "x",
              Ascii(LongSystemPath(U16("D:\\" + name + "x"), U16(prog))));
    EXPECT_EQ("\\\\?\\" + std::string(prog) + name, Ascii(LongSystemPath(U16(name), U16(prog))));
}

} // namespace
