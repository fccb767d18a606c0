#include "runtime/files_win.h"

#include "runtime/code_page_win.h"
#include "runtime/extended_path.h"
#include "runtime/params_win.h"
#include "runtime/path.h"
#include "runtime/runtime_win_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <vector>

namespace {

constexpr int32_t kBlock = 131072;
constexpr int64_t kGiB = int64_t(1) << 30;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, length <= MAX_PATH ? length : 0);
}

// A drive letter that names no drive in this system.
std::string MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter) {
        if (!(drives & (1u << (letter - 'A'))))
            return std::string(1, letter) + ":";
    }
    return std::string();
}

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE("", temp.path());
        InitFileTable();
    }
    void TearDown() override { CloseAllFiles(); }
    TempFolder temp;
};

TEST_F(Files, QueryFileSizeReportsSizesFoldersAndDrives) {
    std::string deep = MakeDeepFolder(temp.path(), 600);
    ASSERT_NE("", deep);
    ASSERT_TRUE(WriteNewFile(deep + "five.bin", "12345"));
    ASSERT_TRUE(WriteNewFile(temp.path() + "empty.bin", ""));
    ASSERT_TRUE(WriteNewFile(temp.path() + "five.bin", "12345"));
    ASSERT_TRUE(CreateDirectoryA((temp.path() + "sub").c_str(), nullptr));
    std::string folder = temp.path() + "sub";
    std::string missingDrive = MissingDrive();
    ASSERT_NE("", missingDrive);
    // A drive other than the program's, whose own current folder is ours.
    std::string drive = temp.path().substr(0, 2);
    ASSERT_NE(drive, ProgramDirectory().substr(0, 2));
    std::string climbs;
    for (int i = 0; i < 40; ++i)
        climbs += "sub\\..\\";

    struct {
        std::string path;
        int64_t expected;
    } cases[] = {
        {temp.path() + "empty.bin", 0},
        {temp.path() + "five.bin", 5},
        {temp.path() + "missing.bin", -1},
        {temp.path() + "sub\\missing.bin", -1},
        {"", -1},
        {folder, -2},
        {folder + "\\", -2},
        {temp.path(), -2},
        {"Z:", -2},
        {"Z:\\", -2},
        {"z:", -2},
        {missingDrive, -1},
        {missingDrive + "\\", -1},
        // A name longer than the file system allows; a path longer than the
        // system allows.
        {temp.path() + std::string(2000, 'x'), -1},
        {std::string(100000, 'a'), -1},
        // Past the classic limit of 259 units: found through the wide calls,
        // and normalised as a short path would be.
        {deep + "five.bin", 5},
        {deep + "five.bin. .", 5},
        {deep + "..\\" + PathFileName(deep.substr(0, deep.size() - 1)) + "\\five.bin", 5},
        {deep + "five.*", 5},
        {deep.substr(0, deep.size() - 1), -2},
        {deep + "missing.bin", -1},
        // Long as given, short once normalised; one ".." above the drive; in
        // the form for the wide calls; from the drive's own current folder.
        {temp.path() + climbs + "five.bin", 5},
        {drive + "\\..\\" + deep.substr(3) + "five.bin", 5},
        {"\\??\\" + deep + "five.bin", 5},
        {drive + deep.substr(temp.path().size()) + "five.bin", 5},
        // A zero byte would end the name early and find "five.bin".
        {temp.path() + std::string("five.bin\0.txt", 13), -1},
    };
    std::string driveFolder = "=" + drive;
    ASSERT_TRUE(SetEnvironmentVariableA(driveFolder.c_str(),
                                        temp.path().substr(0, temp.path().size() - 1).c_str()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 200));
        EXPECT_EQ(c.expected, QueryFileSize(c.path));
    }
    SetEnvironmentVariableA(driveFolder.c_str(), nullptr);
    // The drive-type test sees a long path's drive as it sees a short one's.
    EXPECT_NE(static_cast<uint32_t>(DRIVE_UNKNOWN), DriveTypeOfPath(deep + "five.bin"));
    EXPECT_EQ(DriveTypeOfPath(temp.path() + "five.bin"), DriveTypeOfPath(deep + "five.bin"));
}

// Long paths are made absolute and normalised as the system itself does it
// for a short one: the system's own GetFullPathNameW is the judge.
TEST_F(Files, LongPathsAreResolvedAsTheSystemResolvesShortOnes) {
    ASSERT_TRUE(SetCurrentDirectoryA(ProgramDirectory().c_str()));
    std::wstring folder = SystemWideText(ProgramDirectory());
    const char* paths[] = {
        "a\\b.txt",      "C:\\x\\y.txt. .", "C:\\a.\\b..\\c", "C:\\a\\b\\..\\c\\.\\d",
        "\\x\\y",        "C:/a//b\\\\c\\",  "C:\\..\\..\\a",  "\\\\srv\\share\\dir\\..\\f.txt",
        "D:\\a b \\c  ", "..\\up.txt",      "C:\\a\\.\\",     "C:\\a\\b\\..",
        "C:\\..\\a",
    };
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        std::wstring wide = SystemWideText(path);
        wchar_t full[MAX_PATH];
        DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
        std::u16string ours = FullSystemPath(std::u16string(wide.begin(), wide.end()),
                                             std::u16string(folder.begin(), folder.end()));
        EXPECT_TRUE(std::wstring(full, length) == std::wstring(ours.begin(), ours.end()))
            << std::string(ours.begin(), ours.end());
    }
}

TEST_F(Files, QueryFileSizeLooksUpRelativeNamesInTheProgramDirectory) {
    const std::string name = "query-size-" + std::to_string(GetCurrentProcessId()) + ".bin";
    const std::string besideProgram = ProgramDirectory() + name;
    FileRemover remover(besideProgram);
    DeleteFileA(besideProgram.c_str()); // left by a killed run of an earlier process of this id
    ASSERT_TRUE(WriteNewFile(besideProgram, "seven!!"));
    // A file of the same name, and a different size, in the current folder
    // must not answer.
    ASSERT_TRUE(WriteNewFile(temp.path() + name, "x"));
    ASSERT_TRUE(SetCurrentDirectoryA(temp.path().c_str()));

    EXPECT_EQ(7, QueryFileSize(name));
    // The probe leaves the program directory current, for every later
    // relative open too.
    EXPECT_EQ(ProgramDirectory(), CurrentDirectory() + "\\");
    EXPECT_NE(0u, OpenFileForReading(0, name));
    EXPECT_EQ(7, GetFileLength());
    CloseFileNumber(0); // an open file could not be removed
}

TEST_F(Files, ReadsAFileBlockByBlockWithTheEndTestAfterEachBlock) {
    const std::string path = temp.path() + "three blocks.bin";
    const std::string content = Pattern(2 * kBlock + 100);
    ASSERT_TRUE(WriteNewFile(path, content));
    std::vector<char> block(kBlock);

    ASSERT_NE(0u, OpenFileForReading(0, path));
    EXPECT_EQ(2 * kBlock + 100, GetFileLength());
    EXPECT_EQ(0, GetFilePosition());
    EXPECT_EQ(0, IsAtEndOfFile(0));
    EXPECT_EQ(0, GetFilePosition()) << "the end test must put its byte back";

    std::string readBack;
    struct {
        int32_t expectedRead;
        int64_t positionAfter;
        int32_t endAfter;
    } steps[] = {{kBlock, kBlock, 0}, {kBlock, 2 * kBlock, 0}, {100, 2 * kBlock + 100, -1}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.positionAfter);
        int32_t read = ReadFileBlock(block.data(), kBlock);
        ASSERT_EQ(step.expectedRead, read);
        readBack.append(block.data(), read);
        EXPECT_EQ(step.positionAfter, GetFilePosition());
        EXPECT_EQ(step.endAfter, IsAtEndOfFile(0));
        EXPECT_EQ(step.positionAfter, GetFilePosition());
        EXPECT_EQ(2 * kBlock + 100, GetFileLength());
    }
    EXPECT_TRUE(readBack == content) << "the bytes read differ from the file";
    EXPECT_EQ(0, ReadFileBlock(block.data(), kBlock));
    EXPECT_EQ(-1, IsAtEndOfFile(0));
}

TEST_F(Files, ReadFileBlockWithoutAPositiveLengthReadsNothing) {
    const std::string path = temp.path() + "data.bin";
    ASSERT_TRUE(WriteNewFile(path, Pattern(1000)));
    std::vector<char> block(1000, 'q');
    ASSERT_NE(0u, OpenFileForReading(0, path));
    for (int32_t length : {0, -1, -1000, INT32_MIN}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(0, ReadFileBlock(block.data(), length));
        EXPECT_EQ(0, GetFilePosition());
    }
    EXPECT_EQ(0, ReadFileBlock(nullptr, 10));
    EXPECT_EQ(std::vector<char>(1000, 'q'), block);
}

TEST_F(Files, AFailedOpenLeavesNoCurrentFile) {
    const std::string path = temp.path() + "data.bin";
    ASSERT_TRUE(WriteNewFile(path, "abc"));
    ASSERT_NE(0u, OpenFileForReading(0, path));

    for (const std::string& bad :
         {temp.path() + "missing.bin", std::string(), temp.path(), temp.path() + "*.bin"}) {
        SCOPED_TRACE(bad);
        ASSERT_NE(0u, OpenFileForReading(1, path));
        EXPECT_EQ(0u, OpenFileForReading(1, bad));
        EXPECT_EQ(-1, GetFilePosition());
        EXPECT_EQ(-1, GetFileLength());
        char buffer[8];
        EXPECT_EQ(0, ReadFileBlock(buffer, sizeof buffer));
        // The number keeps the file it had: a failed open changes no table entry.
        EXPECT_EQ(0, IsAtEndOfFile(1));
    }
    EXPECT_EQ(0u, OpenFileForReading(-1, path));
    EXPECT_EQ(-1, GetFilePosition());
}

TEST_F(Files, ReopeningANumberClosesItsFile) {
    const std::string first = temp.path() + "first.bin";
    const std::string second = temp.path() + "second.bin";
    ASSERT_TRUE(WriteNewFile(first, "11"));
    ASSERT_TRUE(WriteNewFile(second, "2222"));

    uintptr_t firstHandle = OpenFileForReading(0, first);
    ASSERT_NE(0u, firstHandle);
    uintptr_t secondHandle = OpenFileForReading(0, second);
    ASSERT_NE(0u, secondHandle);
    EXPECT_NE(firstHandle, secondHandle);
    EXPECT_EQ(4, GetFileLength());

    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(firstHandle), &flags));
    // With the first handle gone, nothing keeps others from writing the file.
    HANDLE writer = CreateFileA(first.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
}

TEST_F(Files, OpenFilesKeepWritersOutAndAWriterKeepsUsOut) {
    const std::string path = temp.path() + "shared.bin";
    ASSERT_TRUE(WriteNewFile(path, "shared"));

    struct {
        const char* what;
        DWORD access;
        bool weCanOpen;
    } others[] = {
        {"another reader", GENERIC_READ, true},
        {"a writer", GENERIC_WRITE, false},
        {"a reader and writer", GENERIC_READ | GENERIC_WRITE, false},
    };
    for (const auto& other : others) {
        SCOPED_TRACE(other.what);
        HANDLE held = CreateFileA(path.c_str(), other.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        EXPECT_EQ(other.weCanOpen, OpenFileForReading(0, path) != 0);
        CloseHandle(held);
        CloseFileNumber(0);
    }

    ASSERT_NE(0u, OpenFileForReading(0, path));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "a file being read must not change underneath";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
}

TEST_F(Files, NumbersBeyondTheFirstTenAndClosing) {
    const std::string path = temp.path() + "data.bin";
    ASSERT_TRUE(WriteNewFile(path, "abc"));

    ASSERT_NE(0u, OpenFileForReading(25, path));
    ASSERT_NE(0u, OpenFileForReading(3, path));
    EXPECT_EQ(0, IsAtEndOfFile(25));
    EXPECT_EQ(0, IsAtEndOfFile(3));

    // Numbers without a file: the end test says "end", closing does nothing.
    for (int32_t number : {-1, 0, 9, 26, 1000, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(-1, IsAtEndOfFile(number));
        CloseFileNumber(number);
    }
    EXPECT_EQ(3, GetFileLength());

    // Closing the current file leaves no current file to read through.
    CloseFileNumber(3);
    EXPECT_EQ(-1, IsAtEndOfFile(3));
    EXPECT_EQ(-1, GetFileLength());
    EXPECT_EQ(-1, GetFilePosition());
    EXPECT_EQ(0, IsAtEndOfFile(25));
    CloseAllFiles();
    EXPECT_EQ(-1, IsAtEndOfFile(25));
}

TEST_F(Files, RenameFileOnDiskNeverReplacesAFile) {
    const std::string a = temp.path() + "a.txt";
    const std::string b = temp.path() + "b [1234ABCD].txt";
    const std::string c = temp.path() + "c.txt";
    ASSERT_TRUE(WriteNewFile(a, "A"));
    ASSERT_TRUE(WriteNewFile(c, "C"));

    EXPECT_TRUE(RenameFileOnDisk(a, b));
    EXPECT_EQ(-1, QueryFileSize(a));
    EXPECT_EQ("A", ReadWholeFile(b));

    EXPECT_FALSE(RenameFileOnDisk(c, b));
    EXPECT_EQ("A", ReadWholeFile(b));
    EXPECT_EQ("C", ReadWholeFile(c));

    EXPECT_FALSE(RenameFileOnDisk(a, temp.path() + "d.txt"));
    EXPECT_FALSE(RenameFileOnDisk(c, ""));
    EXPECT_FALSE(RenameFileOnDisk("", c));
    EXPECT_FALSE(RenameFileOnDisk(c, temp.path() + std::string("b\0x", 3)));
    EXPECT_EQ("C", ReadWholeFile(c));
}

// A file of 5 GiB and 100 bytes whose data is mostly a hole, so it costs
// next to nothing on disk; the test folder takes it away again.
class LargeFile : public Files {
  protected:
    static constexpr int64_t kSize = 5 * kGiB + 100;
    static constexpr int64_t kMarkerAt = 4 * kGiB + 5;

    void SetUp() override {
        Files::SetUp();
        path = temp.path() + "large.bin";
        ASSERT_TRUE(WriteSparseFile(path, kSize, kMarkerAt, "MARK"));
    }
    std::string path;
};

TEST_F(LargeFile, QueryFileSizeGivesTheWholeSize) {
    EXPECT_EQ(kSize, QueryFileSize(path));
}

TEST_F(LargeFile, PositionsBeyond4GiBAreExact) {
    uintptr_t handle = OpenFileForReading(0, path);
    ASSERT_NE(0u, handle);
    EXPECT_EQ(kSize, GetFileLength());

    // The runtime offers no seek; move the handle directly.
    LARGE_INTEGER to;
    to.QuadPart = kMarkerAt - 2;
    ASSERT_TRUE(SetFilePointerEx(reinterpret_cast<HANDLE>(handle), to, nullptr, FILE_BEGIN));
    EXPECT_EQ(kMarkerAt - 2, GetFilePosition());
    EXPECT_EQ(0, IsAtEndOfFile(0));
    EXPECT_EQ(kMarkerAt - 2, GetFilePosition()) << "the end test lost its place beyond 4 GiB";
    char bytes[6] = {};
    ASSERT_EQ(6, ReadFileBlock(bytes, 6));
    EXPECT_EQ(std::string("\0\0MARK", 6), std::string(bytes, 6));
    EXPECT_EQ(kMarkerAt + 4, GetFilePosition());

    to.QuadPart = kSize - 100;
    ASSERT_TRUE(SetFilePointerEx(reinterpret_cast<HANDLE>(handle), to, nullptr, FILE_BEGIN));
    std::vector<char> block(kBlock);
    EXPECT_EQ(0, IsAtEndOfFile(0));
    EXPECT_EQ(100, ReadFileBlock(block.data(), kBlock));
    EXPECT_EQ(kSize, GetFilePosition());
    EXPECT_EQ(-1, IsAtEndOfFile(0));
}

} // namespace
