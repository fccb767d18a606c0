#include "checksum/rename_name.h"

#include <gtest/gtest.h>

namespace {

TEST(ComposeRenamedPath, TheSixPatterns) {
    const char* expected[] = {
        "C:\\Music\\Track 01 [1A2B3C4D].mp3", "C:\\Music\\Track 01 1A2B3C4D.mp3",
        "C:\\Music\\Track 01_[1A2B3C4D].mp3", "C:\\Music\\Track 01_1A2B3C4D.mp3",
        "C:\\Music\\Track 01.[1A2B3C4D].mp3", "C:\\Music\\Track 01.1A2B3C4D.mp3",
    };
    for (int32_t pattern = 1; pattern <= 6; ++pattern)
        EXPECT_EQ(expected[pattern - 1],
                  ComposeRenamedPath("C:\\Music\\Track 01.mp3", "1A2B3C4D", pattern))
            << "pattern " << pattern;
}

TEST(ComposeRenamedPath, NamesOfEveryShape) {
    struct {
        const char* path;
        int32_t pattern;
        const char* renamed;
    } cases[] = {
        // Every ".txt" goes, whatever its letter case.
        {"a.txt.b.TXT", 2, "a.b 1A2B3C4D.TXT"},
        {"D:\\x\\a.txt.b.TXT", 1, "D:\\x\\a.b [1A2B3C4D].TXT"},
        // No dot: the extension is empty and the name ends in a dot.
        {"README", 1, "README [1A2B3C4D]."},
        {"README", 2, "README 1A2B3C4D."},
        {"README", 6, "README.1A2B3C4D."},
        // A leading dot: the whole name is the extension.
        {".profile", 1, " [1A2B3C4D].profile"},
        {".profile", 4, "_1A2B3C4D.profile"},
        // A dot in a folder name does not count.
        {"C:\\my.dir\\README", 1, "C:\\my.dir\\README [1A2B3C4D]."},
        {"C:\\my.dir\\README", 3, "C:\\my.dir\\README_[1A2B3C4D]."},
        // A name that carries its checksum already carries it twice.
        {"D:\\clip [1A2B3C4D].avi", 1, "D:\\clip [1A2B3C4D] [1A2B3C4D].avi"},
        {"D:\\1A2B3C4D\\clip.avi", 5, "D:\\1A2B3C4D\\clip.[1A2B3C4D].avi"},
        // A relative path stays relative.
        {"sub\\song.flac", 4, "sub\\song_1A2B3C4D.flac"},
        {"archive.", 2, "archive 1A2B3C4D."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.renamed, ComposeRenamedPath(c.path, "1A2B3C4D", c.pattern))
            << c.path << " with pattern " << c.pattern;
}

TEST(ComposeRenamedPath, PatternsOutsideTheMenuGiveNothing) {
    for (int32_t pattern : {0, -1, 7, 1000})
        EXPECT_EQ("", ComposeRenamedPath("C:\\a.bin", "1A2B3C4D", pattern)) << pattern;
    RenameSeparators s;
    EXPECT_FALSE(RenameSeparatorsOf(7, &s));
    ASSERT_TRUE(RenameSeparatorsOf(5, &s));
    EXPECT_STREQ(".[", s.before);
    EXPECT_STREQ("].", s.after);
}

} // namespace
