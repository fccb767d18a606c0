// Popup menus, message boxes and the open-file dialog, driven with real X
// input under Wine.
#include "ui/events_win.h"
#include "ui/file_dialog_win.h"
#include "ui/menu_win.h"
#include "ui/message_box_win.h"
#include "ui/ui_win_test_support.h"
#include "ui/window_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

const char* const kPatterns[] = {"FILENAME [CRC32].EXT", "FILENAME CRC32.EXT",
                                 "FILENAME_[CRC32].EXT", "FILENAME_CRC32.EXT",
                                 "FILENAME.[CRC32].EXT", "FILENAME.CRC32.EXT"};

class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>();
        menu_ = NewPopupMenu(1);
        for (int item = 1; item <= 6; ++item)
            AppendMenuItem(item, kPatterns[item - 1]);
        window_->ShowInFront();
        MovePointerTo(window_->handle(), 100, 100);
    }
    void TearDown() override { window_.reset(); }

    // Shows the menu; keys are pressed once it is open.
    void ShowAndPress(const std::string& keys) {
        std::thread typist([keys] {
            if (WaitForTopLevel("#32768", "", 5000) != nullptr)
                Xdotool("key " + keys);
        });
        ShowPopupMenu(1, window_->handle());
        typist.join();
    }

    std::unique_ptr<TestWindow> window_;
    HMENU menu_ = nullptr;
};

TEST_F(MenuTest, HoldsTheSixPatternsInOrder) {
    ASSERT_NE(nullptr, menu_);
    ASSERT_EQ(6, GetMenuItemCount(menu_));
    for (int i = 0; i < 6; ++i) {
        char text[64] = {};
        GetMenuStringA(menu_, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(kPatterns[i], text);
        EXPECT_EQ(static_cast<UINT>(i + 1), GetMenuItemID(menu_, i));
    }
}

TEST_F(MenuTest, AChoiceArrivesAsAMenuEventAfterTheMenuCloses) {
    DrainEvents();
    ShowAndPress("Down Down Down Return");
    // The choice is not reported by ShowPopupMenu itself but by the next
    // retrieval.
    Event e;
    ASSERT_TRUE(WaitForEventWhere([](const Event& e) { return e.code == kMenuEvent; }, 5000, &e));
    EXPECT_EQ(3, e.control);
    EXPECT_EQ(3, GetEventMenuItem());
}

TEST_F(MenuTest, AMenuDismissedWithEscapeReportsNothing) {
    DrainEvents();
    ShowAndPress("Escape");
    EXPECT_FALSE(WaitForEventWhere([](const Event& e) { return e.code == kMenuEvent; }, 700));
}

TEST_F(MenuTest, ReusingANumberReplacesTheMenuAndFreeNumbersShowNothing) {
    HMENU second = NewPopupMenu(1);
    ASSERT_NE(nullptr, second);
    EXPECT_FALSE(IsMenu(menu_));
    EXPECT_EQ(0, GetMenuItemCount(second));
    DWORD start = GetTickCount();
    ShowPopupMenu(5, window_->handle());
    ShowPopupMenu(-1, window_->handle());
    ShowPopupMenu(1000, window_->handle());
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(nullptr, NewPopupMenu(-3));
}

TEST(MessageBoxTest, DisablesTheWindowsWhileOpenAndEnablesThemAfterwards) {
    TestWindow w;
    w.ShowInFront();
    HWND other = CreateAppWindow(1, 0, 0, 100, 50, 0x00CA0000, "already disabled");
    EnableWindow(other, FALSE);
    HWND hidden = CreateAppWindow(2, 0, 0, 100, 50, 0x10CA0000, "hidden");

    struct Seen {
        bool mainEnabled = true;
        bool otherEnabled = true;
        bool hiddenEnabled = false;
        std::vector<std::string> texts;
    } seen;
    HWND main = w.handle();
    std::thread user([&] {
        HWND box = WaitForTopLevel("#32770", "Error", 5000);
        if (box == nullptr)
            return;
        seen.mainEnabled = IsWindowEnabled(main) != FALSE;
        seen.otherEnabled = IsWindowEnabled(other) != FALSE;
        seen.hiddenEnabled = IsWindowEnabled(hidden) != FALSE;
        seen.texts = ChildTexts(box);
        // Close it as a user would: pointer on the box, Return.
        RECT r;
        GetWindowRect(box, &r);
        Xdotool("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                std::to_string(r.top + 10));
        Xdotool("key Return");
    });
    int32_t result = ShowMessageBox("Error", "File does already exist.\nC:\\a\nTO\nC:\\b", 16);
    user.join();
    EXPECT_EQ(IDOK, result);
    EXPECT_FALSE(seen.mainEnabled);
    EXPECT_FALSE(seen.otherEnabled);
    EXPECT_TRUE(seen.hiddenEnabled) << "a hidden window is left alone";
    EXPECT_NE(seen.texts.end(), std::find(seen.texts.begin(), seen.texts.end(),
                                          "File does already exist.\nC:\\a\nTO\nC:\\b"));
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_FALSE(IsWindowEnabled(other)) << "a window that was disabled stays disabled";
    EXPECT_TRUE(IsWindowEnabled(hidden));
}

TEST(MessageBoxTest, OwnerIsTheForegroundWindowOfThisProcessOnly) {
    TestWindow w;
    w.ShowInFront();
    EXPECT_EQ(w.handle(), FindDialogOwner());
    // Unblocking with no records of this thread enables nothing.
    EnableWindow(w.handle(), FALSE);
    UnblockThreadWindows();
    EXPECT_FALSE(IsWindowEnabled(w.handle()));
    EnableWindow(w.handle(), TRUE);
}

// The dialog fills its file list first; keys typed before its name box has
// the focus would go elsewhere.
void WaitUntilTheNameBoxHasTheFocus(HWND dialog) {
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    for (int i = 0; i < 250; ++i) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        char cls[32] = {};
        if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr &&
            GetClassNameA(info.hwndFocus, cls, sizeof cls) && lstrcmpiA(cls, "Edit") == 0)
            break;
        Sleep(20);
    }
    Sleep(200);
}

class FileDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>();
        window_->ShowInFront();
        for (const char* name : {"a.bin", "b.bin", "c.bin"})
            folder_.Make(name, 10);
    }
    void TearDown() override { window_.reset(); }

    // Opens the dialog and lets the "user" type: each step is typed text
    // followed by Return, or a key name starting with '+'.
    std::string Ask(const std::vector<std::string>& steps) {
        std::thread user([steps] {
            HWND dialog = WaitForTopLevel("", "Choose a file for CRC32 check", 10000);
            if (dialog == nullptr)
                return;
            RECT r;
            GetWindowRect(dialog, &r);
            Xdotool("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                    std::to_string(r.top + 10));
            WaitUntilTheNameBoxHasTheFocus(dialog);
            for (const std::string& step : steps) {
                Sleep(150);
                if (step[0] == '+') {
                    Xdotool("key " + step.substr(1));
                } else {
                    XdotoolType(step);
                    Xdotool("key Return");
                }
            }
        });
        std::string first =
            AskOpenFileName("Choose a file for CRC32 check", "", "Any file|*.*", 0, 1);
        user.join();
        return first;
    }

    std::unique_ptr<TestWindow> window_;
    TempFolder folder_;
};

TEST_F(FileDialogTest, ThreeFilesComeBackInTheDialogsOrder) {
    std::string first = Ask({folder_.path(), "\"c.bin\" \"a.bin\" \"b.bin\""});
    std::vector<std::string> paths = {first};
    for (std::string next = NextChosenFileName(); !next.empty(); next = NextChosenFileName())
        paths.push_back(next);
    std::string dir = folder_.path() + "\\";
    EXPECT_EQ((std::vector<std::string>{dir + "c.bin", dir + "a.bin", dir + "b.bin"}), paths);
    EXPECT_EQ("", NextChosenFileName());
}

TEST_F(FileDialogTest, OneFileGivesItsFullPathThenNothing) {
    std::string first = Ask({folder_.path(), "b.bin"});
    EXPECT_EQ(folder_.path() + "\\b.bin", first);
    EXPECT_EQ("", NextChosenFileName());
}

TEST_F(FileDialogTest, CancelGivesNothing) {
    std::string first = Ask({"+Escape"});
    EXPECT_EQ("", first);
    EXPECT_EQ("", NextChosenFileName());
    EXPECT_TRUE(IsWindowEnabled(window_->handle()));
}

} // namespace
