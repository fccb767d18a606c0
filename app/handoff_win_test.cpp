// The hand-off between two instances, both sides in one test process: the
// test's window plays the running instance and answers with HandOffCallback,
// other threads play starting instances (reading another process's memory
// works on one's own process just as well).
#include "app/handoff_win.h"
#include "app/main_window_win.h"
#include "checksum/chunked_source_win.h"
#include "checksum/file_entry_win.h"
#include "runtime/params_win.h"
#include "ui/controls_win.h"
#include "ui/events_win.h"
#include "ui/list_view_win.h"
#include "ui/ui_win_test_support.h"
#include "ui/window_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

class HandOff : public ::testing::Test {
  protected:
    void SetUp() override {
        InitProgramDirectory();
        window_ = std::make_unique<TestWindow>(0x00CA0001, kFinalTitle);
        CreateTestFileList();
        window_->ShowInFront();
        SetMessageCallback(HandOffCallback);
        file_ = folder_.Make("handed.bin", 10);
        empty_ = folder_.Make("empty.bin", 0);
    }
    void TearDown() override {
        SetMessageCallback(nullptr);
        PeerProcess = nullptr; // the hand-off keeps the handle for the caller's next 1025
        window_.reset();
    }

    // Sends a message to the window from another thread, as another process
    // would, while this thread handles events; returns the answer.
    LRESULT SendFromElsewhere(UINT message, WPARAM wParam, LPARAM lParam) {
        HWND window = window_->handle();
        std::atomic<bool> done{false};
        LRESULT answer = 0;
        std::thread sender([&] {
            answer = SendMessageA(window, message, wParam, lParam);
            done = true;
            PostMessageA(window, WM_APP, 0, 0);
        });
        WaitForEventWhere([&](const Event&) { return done.load(); }, 20000);
        sender.join();
        return answer;
    }

    std::vector<std::string> Paths() {
        std::vector<std::string> paths;
        for (int32_t i = 0; i < CountListItems(FileList); ++i)
            paths.push_back(EntryFullPath(i));
        return paths;
    }

    std::unique_ptr<TestWindow> window_;
    TempFolder folder_;
    std::string file_;
    std::string empty_;
};

TEST_F(HandOff, APathSentInTwoMessagesIsListed) {
    EXPECT_EQ(1, SendFromElsewhere(WM_USER + 1, 0, GetCurrentProcessId()));
    EXPECT_NE(nullptr, PeerProcess);
    EXPECT_EQ(1, SendFromElsewhere(WM_USER + 2, reinterpret_cast<WPARAM>(file_.c_str()),
                                   static_cast<LPARAM>(file_.size())));
    EXPECT_EQ(std::vector<std::string>{file_}, Paths());
    EXPECT_EQ("Waiting", GetListItemText(FileList, 0, 2));
    EXPECT_EQ(nullptr, PeerProcess) << "a 1026 needs a 1025 of its own";
    // Large files wait while the burst lasts, and only then.
    EXPECT_TRUE(ChunkedFileSource::HoldReading.load());
    WaitForEventWhere([](const Event&) { return !ChunkedFileSource::HoldReading.load(); }, 5000);
    EXPECT_FALSE(ChunkedFileSource::HoldReading.load());
}

TEST_F(HandOff, EveryAnnouncedLengthGetsItsDefinedAnswer) {
    std::string folder = folder_.path();
    std::string longText(3 * 32767 + 1, 'x');
    struct {
        const char* what;
        const char* text;
        size_t length;
        LRESULT answer;
        size_t rows;
    } cases[] = {
        {"length 0 reads nothing", "", 0, 1, 0},
        {"an empty file is not listed, yet delivered", empty_.c_str(), empty_.size(), 1, 0},
        {"a folder is not listed, yet delivered", folder.c_str(), folder.size(), 1, 0},
        {"a path cut short is read as announced", file_.c_str(), file_.size() - 1, 1, 0},
        {"a path of 32767 units of three bytes is read", longText.c_str(), longText.size() - 1, 1,
         0},
        {"longer than any path: refused unread", longText.c_str(), longText.size(), 0, 0},
        {"a file of at least one byte", file_.c_str(), file_.size(), 1, 1},
    };
    BoxCloser closer("");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearListItems(FileList);
        ASSERT_EQ(1, SendFromElsewhere(WM_USER + 1, 0, GetCurrentProcessId()));
        EXPECT_EQ(c.answer, SendFromElsewhere(WM_USER + 2, reinterpret_cast<WPARAM>(c.text),
                                              static_cast<LPARAM>(c.length)));
        EXPECT_EQ(c.rows, static_cast<size_t>(CountListItems(FileList)));
        EXPECT_EQ(nullptr, PeerProcess);
    }
    EXPECT_TRUE(closer.boxes().empty());
}

TEST_F(HandOff, AFailedReadShowsTheErrorNumberAndAnswersZero) {
    BoxCloser closer("");
    // Without a 1025 there is no process to read from: the invalid-handle error.
    EXPECT_EQ(0, SendFromElsewhere(WM_USER + 2, reinterpret_cast<WPARAM>(file_.c_str()),
                                   static_cast<LPARAM>(file_.size())));
    // An address that is no memory of the sender's.
    ASSERT_EQ(1, SendFromElsewhere(WM_USER + 1, 0, GetCurrentProcessId()));
    EXPECT_EQ(0, SendFromElsewhere(WM_USER + 2, 0x10, 5));
    std::vector<std::string> boxes = closer.boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("6", boxes[0]);
    EXPECT_NE("", boxes[1]);
    EXPECT_TRUE(std::all_of(boxes[1].begin(), boxes[1].end(), ::isdigit)) << boxes[1];
    EXPECT_EQ(0, CountListItems(FileList));
}

// While the box of a failed read is open, its modal loop serves sent
// messages: another 1026 is answered 0 at once, without a box of its own.
BOOL CALLBACK CountErrorBox(HWND window, LPARAM count) {
    char className[16] = {}, title[4] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof className);
    if (process == GetCurrentProcessId() && strcmp(className, "#32770") == 0 &&
        GetWindowTextA(window, title, sizeof title) == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int CountErrorBoxes() {
    int boxes = 0;
    EnumWindows(CountErrorBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

TEST_F(HandOff, A1026WhileTheErrorBoxIsOpenIsAnsweredZeroWithoutABox) {
    HWND window = window_->handle();
    std::atomic<bool> done{false};
    LRESULT nested = -1;
    int boxes = 0;
    std::thread first([&] {
        SendMessageA(window, WM_USER + 2, 0x10, 5);
        done = true;
        PostMessageA(window, WM_APP, 0, 0);
    });
    std::thread second([&] {
        for (int i = 0; i < 500 && CountErrorBoxes() == 0; ++i)
            Sleep(10);
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(window, WM_USER + 2, 0x10, 5, SMTO_NORMAL, 3000, &answer))
            nested = static_cast<LRESULT>(answer);
        boxes = CountErrorBoxes();
        for (HWND box; (box = FindWindowA("#32770", "")) != nullptr; Sleep(50))
            PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    WaitForEventWhere([&](const Event&) { return done.load(); }, 20000);
    first.join();
    second.join();
    EXPECT_EQ(0, nested);
    EXPECT_EQ(1, boxes);
}

TEST_F(HandOff, ANewProcessIdMessageReplacesAndClosesTheOldHandle) {
    ASSERT_EQ(1, SendFromElsewhere(WM_USER + 1, 0, GetCurrentProcessId()));
    HANDLE first = PeerProcess;
    ASSERT_EQ(1, SendFromElsewhere(WM_USER + 1, 0, GetCurrentProcessId()));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(first, &flags) && PeerProcess != first)
        << "the first handle is still open";
    // No such process: answered 0, and there is no peer afterwards.
    EXPECT_EQ(0, SendFromElsewhere(WM_USER + 1, 0, 0x7FFFFFF0));
    EXPECT_EQ(nullptr, PeerProcess);
}

// The highest text address a 1026 carried, for the test below.
std::atomic<uintptr_t> HighestTextAddress{0};

uint32_t RecordingCallback(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 2 && wParam > HighestTextAddress)
        HighestTextAddress = wParam;
    return HandOffCallback(window, message, wParam, lParam);
}

TEST_F(HandOff, ConcurrentSendersEachDeliverEveryPathExactlyOnce) {
    // Every text lies below 2 GiB, where a running 32-bit build can read it
    // from a 64-bit sender (its wParam is 32 bits).
    SetMessageCallback(RecordingCallback);
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i)
        paths.push_back(folder_.Make("sender" + std::to_string(i) + ".bin", 5));
    std::atomic<int> handed{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&, t] {
            for (int i = t; i < 12; i += 4)
                if (HandOverPath(paths[static_cast<size_t>(i)]))
                    ++handed;
            ++finished;
        });
    }
    WaitForEventWhere([&](const Event&) { return finished.load() == 4; }, 60000);
    for (auto& s : senders)
        s.join();
    EXPECT_EQ(12, handed.load());
    std::vector<std::string> listed = Paths();
    std::sort(listed.begin(), listed.end());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, listed);
    EXPECT_NE(0u, HighestTextAddress.load());
    EXPECT_LT(HighestTextAddress.load(), 0x80000000u);
}

TEST_F(HandOff, WithoutARunningInstanceNothingIsHandedOver) {
    SetWindowCaption(0, "initialize"); // as a starting instance looks
    std::atomic<bool> result{true};
    std::thread sender([&] { result = HandOverPath(file_); });
    sender.join();
    EXPECT_FALSE(result.load());
}

// A running instance that has stopped taking messages cannot hold the
// starting one: the answer is given up after a while and the path stays.
TEST_F(HandOff, ARunningInstanceThatDoesNotAnswerDoesNotHoldTheSender) {
    SetWindowCaption(0, "initialize");
    std::atomic<bool> release{false};
    std::thread stuck([&] {
        HWND w = CreateWindowExA(0, "STATIC", kFinalTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
        while (!release)
            Sleep(50); // takes no messages
        DestroyWindow(w);
    });
    while (FindWindowA(nullptr, kFinalTitle) == nullptr)
        Sleep(10);
    DWORD start = GetTickCount();
    bool handed = HandOverPath(file_);
    DWORD took = GetTickCount() - start;
    release = true;
    stuck.join();
    EXPECT_FALSE(handed);
    EXPECT_LE(took, 15000u);
}

} // namespace
