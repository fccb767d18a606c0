#include "runtime/params_win.h"

#include "runtime/files_win.h"
#include "runtime/runtime_win_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kEchoProgram[] = "runtime_param_echo.exe";

TEST(ProgramDirectory, IsTheFolderOfTheProgramFile) {
    const std::string& directory = ProgramDirectory();
    ASSERT_GE(directory.size(), 3u);
    EXPECT_EQ('\\', directory.back());
    EXPECT_GT(QueryFileSize(directory + "runtime_win_tests.exe"), 0);
    EXPECT_EQ(&directory, &ProgramDirectory()) << "fixed once for the whole run";
}

// Copies the echo program to folder under newName and runs it there with
// the given parameters, program name quoted. Its output, or "" when it
// could not be run.
std::string RunEchoFrom(const std::string& folder, const std::string& newName,
                        const std::string& parameters) {
    const std::string program = folder + newName;
    if (!CopyFileA((ProgramDirectory() + kEchoProgram).c_str(), program.c_str(), TRUE))
        return std::string();
    ChildProcess child;
    if (!child.Start("\"" + program + "\" " + parameters))
        return std::string();
    std::string output = child.ReadAll();
    EXPECT_EQ(0, child.Wait(10000));
    return output;
}

TEST(NextProgramParameter, WalksARealCommandLine) {
    TempFolder temp;
    ASSERT_NE("", temp.path());
    const std::string folder = temp.path() + "with space\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));

    EXPECT_EQ("[C:\\a b\\c.txt]\n"
              "[word]\n"
              "[]\n"
              "[]\n"
              "dir=" +
                  folder + "\n",
              RunEchoFrom(folder, "param echo.exe", "\"C:\\a b\\c.txt\" word"));
}

} // namespace
