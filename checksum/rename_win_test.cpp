// Renaming on real files in a folder of the test's own, with the real file
// list and real message boxes, closed with a key press as a user would.
#include "checksum/file_entry_win.h"
#include "checksum/rename_win.h"
#include "checksum/zlib_crc_win_test_support.h"
#include "runtime/code_page_win.h"
#include "runtime/files_win.h"
#include "runtime/params_win.h"
#include "ui/list_view_win.h"
#include "ui/ui_win_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::string ReadWhole(const std::string& path) {
    HANDLE file =
        CreateFileW(SystemWideText("\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::string Crc(const std::string& bytes) {
    return ZlibCrcText(bytes);
}

// Asked of the system itself, so that a path the code under test cannot see
// still counts.
bool Exists(const std::string& path) {
    return GetFileAttributesW(SystemWideText("\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Renaming : public ::testing::Test {
  protected:
    void SetUp() override {
        InitProgramDirectory();
        window_ = std::make_unique<TestWindow>();
        CreateTestFileList();
        window_->ShowInFront();
    }

    void TearDown() override { window_.reset(); }

    std::string Make(const std::string& name, const std::string& bytes) {
        return folder_.Make(name, bytes);
    }

    // An entry whose checksum is finished, as the worker leaves it.
    int32_t AddFinished(const std::string& path) {
        int32_t row = CountListItems(FileList);
        AddWaitingEntry(path);
        SetListItemText(FileList, row, "no CRC32 in filename", 2);
        SetListItemText(FileList, row, Crc(ReadWhole(path)), 1);
        return row;
    }

    std::string In(const std::string& name) const { return folder_.In(name); }

    std::unique_ptr<TestWindow> window_;
    TempFolder folder_;
};

TEST_F(Renaming, EachPatternRenamesTheSelectedEntryInItsFolder) {
    const char* layouts[] = {"Track 01 [%s].mp3", "Track 01 %s.mp3",   "Track 01_[%s].mp3",
                             "Track 01_%s.mp3",   "Track 01.[%s].mp3", "Track 01.%s.mp3"};
    std::vector<std::string> contents;
    for (int p = 1; p <= 6; ++p) {
        std::string sub = "album" + std::to_string(p);
        CreateDirectoryA(In(sub).c_str(), nullptr);
        contents.push_back("track bytes " + std::to_string(p));
        AddFinished(Make(sub + "\\Track 01.mp3", contents.back()));
    }
    BoxCloser closer("Error");
    for (int p = 1; p <= 6; ++p) {
        SCOPED_TRACE(p);
        std::string column0 = GetListItemText(FileList, p - 1, 0);
        RenameSelectedEntry(p - 1, p);
        char name[64];
        snprintf(name, sizeof name, layouts[p - 1], Crc(contents[p - 1]).c_str());
        std::string renamed = In("album" + std::to_string(p) + "\\" + name);
        EXPECT_EQ(contents[p - 1], ReadWhole(renamed));
        EXPECT_FALSE(Exists(In("album" + std::to_string(p) + "\\Track 01.mp3")));
        // The row still names the old path.
        EXPECT_EQ(column0, GetListItemText(FileList, p - 1, 0));
    }
    EXPECT_TRUE(closer.boxes().empty());
}

TEST_F(Renaming, RenamingAllSkipsPathsThatCarryTheirChecksumAlready) {
    std::string plainBytes = "plain", carriedBytes = "carried", folderBytes = "in folder";
    std::string carriedCrc = Crc(carriedBytes), folderCrc = Crc(folderBytes);
    AddFinished(Make("plain.bin", plainBytes));
    AddFinished(Make("carried [" + carriedCrc + "].bin", carriedBytes));
    CreateDirectoryA(In(folderCrc).c_str(), nullptr);
    AddFinished(Make(folderCrc + "\\in.bin", folderBytes));
    // A name that carries another checksum: a damaged file.
    std::string damaged = Make("damaged [" + Crc(plainBytes) + "].bin", "changed bytes");
    AddFinished(damaged);

    BoxCloser closer("Error");
    RenameAllEntries(4, 2);
    EXPECT_TRUE(Exists(In("plain " + Crc(plainBytes) + ".bin")));
    EXPECT_TRUE(Exists(In("carried [" + carriedCrc + "].bin")));
    EXPECT_TRUE(Exists(In(folderCrc + "\\in.bin")));
    EXPECT_TRUE(Exists(damaged));

    // Renaming one entry makes no such test.
    RenameSelectedEntry(1, 1);
    EXPECT_TRUE(Exists(In("carried [" + carriedCrc + "] [" + carriedCrc + "].bin")));
    EXPECT_TRUE(closer.boxes().empty());
}

TEST_F(Renaming, TheSameEntryTwiceDoesNothingTheSecondTime) {
    std::string bytes = "twice";
    AddFinished(Make("twice.bin", bytes));
    BoxCloser closer("Error");
    RenameSelectedEntry(0, 4);
    std::string renamed = In("twice_" + Crc(bytes) + ".bin");
    EXPECT_TRUE(Exists(renamed));
    RenameSelectedEntry(0, 4);
    RenameSelectedEntry(0, 1);
    EXPECT_TRUE(Exists(renamed));
    EXPECT_FALSE(Exists(In("twice_" + Crc(bytes) + ".bin [" + Crc(bytes) + "].bin")));
    Sleep(300);
    EXPECT_TRUE(closer.boxes().empty());
}

TEST_F(Renaming, AnExistingFileOrFolderOfTheNewNameIsNeverReplaced) {
    std::string aBytes = "file a", bBytes = "file b", otherBytes = "someone else's file";
    std::string a = Make("a.bin", aBytes);
    std::string b = Make("b.bin", bBytes);
    std::string aTarget = Make("a [" + Crc(aBytes) + "].bin", otherBytes);
    std::string bTarget = In("b [" + Crc(bBytes) + "].bin");
    CreateDirectoryA(bTarget.c_str(), nullptr);
    AddFinished(a);
    AddFinished(b);

    BoxCloser closer("Error");
    RenameSelectedEntry(0, 1);
    RenameSelectedEntry(1, 1);
    EXPECT_EQ((std::vector<std::string>{
                  "File does already exist.\n" + a + "\nTO\n" + aTarget,
                  "File does already exist.\n" + b + "\nTO\n" + bTarget,
              }),
              closer.boxes());
    EXPECT_EQ(Crc(aBytes), Crc(ReadWhole(a)));
    EXPECT_EQ(Crc(otherBytes), Crc(ReadWhole(aTarget)));
    EXPECT_EQ(Crc(bBytes), Crc(ReadWhole(b)));
    EXPECT_NE(0u, GetFileAttributesA(bTarget.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Renaming, AMoveTheSystemRefusesGivesTheCouldNotRenameBox) {
    std::string bytes = "held";
    std::string held = Make("held.bin", bytes);
    AddFinished(held);
    // Open without FILE_SHARE_DELETE: the file cannot be renamed meanwhile.
    HANDLE other = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    BoxCloser closer("Error");
    RenameSelectedEntry(0, 3);
    CloseHandle(other);
    std::string target = In("held_[" + Crc(bytes) + "].bin");
    EXPECT_EQ(std::vector<std::string>{"Couldn't rename file.\n" + held + "\nTO\n" + target},
              closer.boxes());
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(target));
}

TEST_F(Renaming, PathsPastTheClassicLimitAreRenamedButNotANameTooLongForTheFileSystem) {
    std::string deep = folder_.In(std::string(200, 'd'));
    ASSERT_TRUE(CreateDirectoryW(SystemWideText("\\\\?\\" + deep).c_str(), nullptr));
    std::string path = Make(std::string(200, 'd') + "\\" + std::string(100, 'f') + ".bin", "deep");
    ASSERT_GT(path.size(), 300u);
    AddFinished(path);
    RenameSelectedEntry(0, 1);
    EXPECT_TRUE(Exists(deep + "\\" + std::string(100, 'f') + " [" + Crc("deep") + "].bin"));
    EXPECT_FALSE(Exists(path));

    // A new name of 262 characters: more than the file system's 255.
    std::string longName = Make(std::string(250, 'n'), "long");
    AddFinished(longName);
    BoxCloser closer("Error");
    RenameSelectedEntry(1, 1);
    std::string target = longName + " [" + Crc("long") + "].";
    EXPECT_EQ(std::vector<std::string>{"Couldn't rename file.\n" + longName + "\nTO\n" + target},
              closer.boxes());
    EXPECT_TRUE(Exists(longName));
}

TEST_F(Renaming, UnfinishedEmptyAndUnreadableEntriesAreNeverRenamed) {
    std::string empty = Make("empty.bin", "");
    std::string waiting = Make("waiting.bin", "not yet");
    std::string failed = Make("failed.bin", "could not be read");
    AddFinished(empty); // its checksum is known: 00000000
    AddWaitingEntry(waiting);
    AddWaitingEntry(failed);
    SetListItemText(FileList, 2, "ReadError", 2);
    AddFinished(Make("gone.bin", "gone"));
    DeleteFileA(In("gone.bin").c_str());
    EXPECT_EQ("00000000", GetListItemText(FileList, 0, 1));

    BoxCloser closer("Error");
    RenameAllEntries(4, 1);
    for (int32_t row = 0; row < 4; ++row)
        RenameSelectedEntry(row, 2);
    EXPECT_TRUE(Exists(empty));
    EXPECT_TRUE(Exists(waiting));
    EXPECT_TRUE(Exists(failed));
    Sleep(300);
    EXPECT_TRUE(closer.boxes().empty());
    // Nothing else appeared in the folder.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(In("*").c_str(), &found);
    int files = 0;
    do {
        if (found.cFileName[0] != '.')
            ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(3, files);
}

TEST_F(Renaming, RenamingAllShowsOneBoxPerFailingEntryAndGoesOn) {
    std::vector<std::string> bytes = {"one", "two", "three", "four"};
    std::vector<std::string> paths;
    for (size_t i = 0; i < bytes.size(); ++i) {
        paths.push_back(Make("f" + std::to_string(i) + ".bin", bytes[i]));
        AddFinished(paths.back());
    }
    // The first and third new names are taken.
    std::string taken0 = Make("f0.[" + Crc(bytes[0]) + "].bin", "taken");
    std::string taken2 = Make("f2.[" + Crc(bytes[2]) + "].bin", "taken too");

    BoxCloser closer("Error");
    RenameAllEntries(4, 5);
    EXPECT_EQ((std::vector<std::string>{
                  "File does already exist.\n" + paths[0] + "\nTO\n" + taken0,
                  "File does already exist.\n" + paths[2] + "\nTO\n" + taken2,
              }),
              closer.boxes());
    EXPECT_TRUE(Exists(In("f1.[" + Crc(bytes[1]) + "].bin")));
    EXPECT_TRUE(Exists(In("f3.[" + Crc(bytes[3]) + "].bin")));
    EXPECT_EQ("taken", ReadWhole(taken0));
    EXPECT_EQ("taken too", ReadWhole(taken2));
}

// Windows drops trailing dots from a file name; the renamed file must end with
// the bracket or the checksum on disk here too.
TEST_F(Renaming, ANameWithoutADotEndsWithoutOneOnDisk) {
    std::string bytes = "read me";
    std::string readme = Make("README", bytes);
    AddFinished(readme);
    AddFinished(Make("NOTES", "notes"));
    BoxCloser closer("Error");
    RenameSelectedEntry(0, 1);
    RenameSelectedEntry(1, 2);
    EXPECT_TRUE(
        RunUnix({"/usr/bin/test", "-f", folder_.unixPath() + "/README [" + Crc(bytes) + "]"}));
    EXPECT_FALSE(
        RunUnix({"/usr/bin/test", "-e", folder_.unixPath() + "/README [" + Crc(bytes) + "]."}));
    EXPECT_TRUE(RunUnix({"/usr/bin/test", "-f", folder_.unixPath() + "/NOTES " + Crc("notes")}));

    // Another README with the same bytes wants the same name: the test for an
    // existing name sees through the trailing dot, and nothing is replaced.
    EXPECT_TRUE(closer.boxes().empty());
    std::string second = Make("README", bytes);
    AddFinished(second);
    RenameSelectedEntry(2, 1);
    EXPECT_EQ(std::vector<std::string>{"File does already exist.\n" + second + "\nTO\n" + second +
                                       " [" + Crc(bytes) + "]."},
              closer.boxes());
    EXPECT_TRUE(Exists(second));
}

} // namespace
