#include "ui/chosen_files.h"
#include "ui/control_styles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ControlStyles, TheApplicationsControls) {
    EXPECT_EQ(0x50020000u, TextControlStyle(0).style);
    EXPECT_EQ(0x50020002u, TextControlStyle(2).style);
    EXPECT_EQ(0u, TextControlStyle(2).exStyle);
    EXPECT_EQ(0x200u, TextControlStyle(0x20000).exStyle);
    EXPECT_EQ(0x50030000u, ButtonStyle().style);

    struct {
        uint32_t flags;
        const char* cls;
        uint32_t style, exStyle;
    } frames[] = {
        {0, "BUTTON", 0x50020007, 0},
        {1, "STATIC", 0x54020001, 0x200},
        {2, "STATIC", 0x54020001, 0x20000},
        {7, "STATIC", 0x54820001, 0},
    };
    for (const auto& f : frames) {
        ControlStyle s = FrameStyle(f.flags);
        EXPECT_STREQ(f.cls, s.className) << "frame flags " << f.flags;
        EXPECT_EQ(f.style, s.style) << "frame flags " << f.flags;
        EXPECT_EQ(f.exStyle, s.exStyle) << "frame flags " << f.flags;
    }
}

TEST(DecodeListViewFlags, SingleSelectionUnlessFlagFour) {
    struct {
        uint32_t flags, style, extended;
    } cases[] = {
        {0x40018008, 0x5001804D, 0x21}, // the file list
        {0x0, 0x50010045, 0x0},
        {0x4, 0x50010041, 0x0},
        {0x10000001, 0x50010045, 0x14},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "flags 0x" << c.flags);
        ListViewStyle s = DecodeListViewFlags(c.flags);
        EXPECT_EQ(c.style, s.style);
        EXPECT_EQ(c.extended, s.extendedLvStyle);
        EXPECT_EQ(0x200u, s.exStyle);
    }
}

TEST(SplitColumnTexts, LineFeedsSeparateColumns) {
    using Columns = std::vector<std::string>;
    struct {
        const char* text;
        Columns columns;
    } cases[] = {
        {"a\n\nWaiting", {"a", "", "Waiting"}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"", {""}},
        {"\n", {""}},
        {"\nb", {"", "b"}},
        {"n > C:\\n\n1A2B3C4D\nCRC32 in filename", {"n > C:\\n", "1A2B3C4D", "CRC32 in filename"}},
        {"a\r\nb", {"a\r", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.columns, SplitColumnTexts(c.text)) << testing::PrintToString(c.text);
}

// The dialog result as a byte buffer: pieces joined with zero bytes.
std::vector<char> Buffer(std::initializer_list<const char*> pieces, size_t zerosAtEnd) {
    std::vector<char> b;
    bool first = true;
    for (const char* p : pieces) {
        if (!first)
            b.push_back('\0');
        first = false;
        b.insert(b.end(), p, p + std::strlen(p));
    }
    b.insert(b.end(), zerosAtEnd, '\0');
    return b;
}

std::vector<std::string> WalkAll(const std::vector<char>& buffer) {
    ChosenFiles walk;
    std::vector<std::string> paths;
    std::string path = FirstChosenFile(walk, buffer.data(), buffer.size());
    while (!path.empty()) {
        paths.push_back(path);
        path = NextChosenFile(walk);
    }
    // Once used up, the walk stays used up.
    EXPECT_EQ("", NextChosenFile(walk));
    EXPECT_EQ("", NextChosenFile(walk));
    return paths;
}

TEST(ChosenFiles, WalksEveryChoiceInTheDialogsOrder) {
    using Paths = std::vector<std::string>;
    struct {
        const char* name;
        std::vector<char> buffer;
        Paths paths;
    } cases[] = {
        {"one file", Buffer({"D:\\x\\a.bin"}, 2), {"D:\\x\\a.bin"}},
        {"three files",
         Buffer({"D:\\x", "c.bin", "a.bin", "b b.bin"}, 2),
         {"D:\\x\\c.bin", "D:\\x\\a.bin", "D:\\x\\b b.bin"}},
        {"drive root", Buffer({"D:\\", "a.bin", "b.bin"}, 2), {"D:\\a.bin", "D:\\b.bin"}},
        {"cancelled", Buffer({""}, 10), {}},
        {"empty buffer", {}, {}},
        {"no final empty name",
         Buffer({"D:\\x", "a.bin", "b.bin"}, 1),
         {"D:\\x\\a.bin", "D:\\x\\b.bin"}},
        {"last name cut off", Buffer({"D:\\x", "a.bin", "b.bin"}, 0), {"D:\\x\\a.bin"}},
        {"second name cut off", Buffer({"D:\\x", "a.bin"}, 0), {}},
        {"single path without terminator", Buffer({"D:\\x\\a.bin"}, 0), {}},
        {"single path ending exactly at the buffer's end",
         Buffer({"D:\\x\\a.bin"}, 1),
         {"D:\\x\\a.bin"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.paths, WalkAll(c.buffer)) << c.name;
}

TEST(ChosenFiles, KeepsAVeryLongFolderWhole) {
    std::string folder = "D:\\" + std::string(600, 'd');
    auto buffer = Buffer({folder.c_str(), "a.bin", "b.bin"}, 2);
    auto paths = WalkAll(buffer);
    ASSERT_EQ(2u, paths.size());
    EXPECT_EQ(folder + "\\b.bin", paths[1]);
}

TEST(ChosenFiles, ANewWalkForgetsTheOldOne) {
    ChosenFiles walk;
    auto many = Buffer({"D:\\x", "a", "b"}, 2);
    EXPECT_EQ("D:\\x\\a", FirstChosenFile(walk, many.data(), many.size()));
    auto one = Buffer({"E:\\y"}, 2);
    EXPECT_EQ("E:\\y", FirstChosenFile(walk, one.data(), one.size()));
    EXPECT_EQ("", NextChosenFile(walk));
    EXPECT_EQ("", FirstChosenFile(walk, nullptr, 100));
}

TEST(DialogFilterAndDefaultFile, AreBuiltAsTheDialogExpects) {
    EXPECT_EQ(std::string("Any file\0*.*\0\0", 14), MakeDialogFilter("Any file|*.*"));
    EXPECT_EQ(std::string("\0\0", 2), MakeDialogFilter(""));

    struct {
        const char* text;
        bool hasDir;
        const char* dir;
        const char* name;
    } cases[] = {
        {"D:\\dir\\a.txt", true, "D:\\dir", "a.txt"},
        {"a.txt", true, "", "a.txt"},
        {"\\a.txt", true, "", "\\a.txt"},
        {"D:\\", true, "D:", ""},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        DefaultFile d = SplitDefaultFile(c.text);
        EXPECT_EQ(c.hasDir, d.hasInitialDirectory) << c.text;
        EXPECT_EQ(c.dir, d.initialDirectory) << c.text;
        EXPECT_EQ(c.name, d.fileName) << c.text;
    }
}

} // namespace
