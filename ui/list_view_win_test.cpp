// The list view and the other controls, on a real window under Wine.
#include "ui/controls_win.h"
#include "ui/events_win.h"
#include "ui/list_view_win.h"
#include "ui/message_box_win.h"
#include "ui/ui_win_test_support.h"
#include "ui/window_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <mmsystem.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

class FileListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>();
        list_ = CreateTestFileList();
    }
    void TearDown() override { window_.reset(); }

    std::vector<std::string> Row(int32_t row) {
        return {GetListItemText(3, row, 0), GetListItemText(3, row, 1), GetListItemText(3, row, 2)};
    }

    std::unique_ptr<TestWindow> window_;
    HWND list_ = nullptr;
};

TEST_F(FileListTest, IsAReportViewWithItsStylesAndColumns) {
    ASSERT_NE(nullptr, list_);
    EXPECT_EQ(list_, GetControlHandle(3));
    EXPECT_TRUE(IsListViewControl(3));
    EXPECT_EQ(0x5001804D, GetWindowLongA(list_, GWL_STYLE) & 0x5001804D);
    EXPECT_EQ(WS_EX_CLIENTEDGE, GetWindowLongA(list_, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    DWORD extended = static_cast<DWORD>(SendMessageA(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), extended);
    EXPECT_EQ(3, GetWindowLongA(list_, GWL_ID));
    EXPECT_EQ(reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
              static_cast<WPARAM>(SendMessageA(list_, WM_GETFONT, 0, 0)));

    const char* titles[] = {"Filename", "CRC32", "State"};
    const int widths[] = {250, 70, 120};
    for (int c = 0; c < 3; ++c) {
        char title[32] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = title;
        column.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(list_, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(titles[c], title);
        EXPECT_EQ(widths[c], column.cx);
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
    }
}

TEST_F(FileListTest, RowsAreSplitAtLineFeeds) {
    using Row3 = std::vector<std::string>;
    struct {
        const char* text;
        Row3 row;
    } cases[] = {
        {"a\n\nWaiting", {"a", "", "Waiting"}},
        {"no line feed", {"no line feed", "", ""}},
        {"trailing\n", {"trailing", "", ""}},
        {"x > C:\\x\n0000ABCD\nCRC32 in filename", {"x > C:\\x", "0000ABCD", "CRC32 in filename"}},
        {"", {"", "", ""}},
    };
    int32_t row = 0;
    for (const auto& c : cases) {
        AddListItem(3, -1, c.text);
        EXPECT_EQ(c.row, Row(row)) << testing::PrintToString(c.text);
        ++row;
    }
    EXPECT_EQ(row, CountListItems(3));
}

TEST_F(FileListTest, MissingRowsReadEmptyAndIgnoreWrites) {
    EXPECT_EQ(0, CountListItems(3));
    EXPECT_EQ(-1, GetSelectedIndex(3));
    EXPECT_EQ("", GetListItemText(3, 0, 0));
    AddListItem(3, -1, "a\n\nWaiting");
    struct {
        int32_t row, column;
    } missing[] = {{1, 0}, {-1, 0}, {0, 7}, {0, -1}, {1000000, 2}};
    for (const auto& m : missing) {
        SCOPED_TRACE(testing::Message() << "row " << m.row << " column " << m.column);
        EXPECT_EQ("", GetListItemText(3, m.row, m.column));
        SetListItemText(3, m.row, "written", m.column);
    }
    EXPECT_EQ(1, CountListItems(3));
    EXPECT_EQ((std::vector<std::string>{"a", "", "Waiting"}), Row(0));
    // Numbers that hold no list do nothing at all.
    EXPECT_EQ("", GetListItemText(9, 0, 0));
    EXPECT_EQ(0, CountListItems(9));
    AddListItem(9, -1, "x");
    SetListItemText(9, 0, "x", 0);
    ClearListItems(9);
}

// A cell holds a path of any length the system allows (32767 units, in
// UTF-8 up to three bytes each), and reads back whole.
TEST_F(FileListTest, LongCellsReadBackWhole) {
    AddListItem(3, -1, "a\n\nWaiting");
    for (size_t length : {9999u, 10000u, 12000u, 98301u}) {
        SetListItemText(3, 0, std::string(length, 'h'), 1);
        EXPECT_EQ(std::string(length, 'h'), GetListItemText(3, 0, 1));
    }
}

TEST_F(FileListTest, WritesCountClearAndTheSelectedRow) {
    for (int i = 0; i < 3; ++i)
        AddListItem(3, -1, "row " + std::to_string(i) + "\n\nWaiting");
    SetListItemText(3, 1, "0%", 2);
    SetListItemText(3, 1, "1A2B3C4D", 1);
    EXPECT_EQ((std::vector<std::string>{"row 1", "1A2B3C4D", "0%"}), Row(1));
    EXPECT_EQ("row 2", GetListItemText(3, 2, 0)); // rows keep their order

    EXPECT_EQ(-1, GetSelectedIndex(3));
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(list_, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(2, GetSelectedIndex(3));

    ClearListItems(3);
    EXPECT_EQ(0, CountListItems(3));
    EXPECT_EQ(-1, GetSelectedIndex(3));
    AddListItem(3, -1, "again\n\nWaiting");
    EXPECT_EQ("again", GetListItemText(3, 0, 0));
}

TEST_F(FileListTest, TagsTellARowFromALaterRowWithTheSameIndex) {
    AddListItem(3, -1, "old\n\nWaiting");
    uint32_t oldTag = GetListItemTag(3, 0);
    EXPECT_NE(0u, oldTag);
    EXPECT_EQ(0u, GetListItemTag(3, 1));
    QueueListItemTextIfTagged(3, 0, oldTag, "0%", 2); // on the list's thread: at once
    EXPECT_EQ("0%", GetListItemText(3, 0, 2));

    ClearListItems(3);
    AddListItem(3, -1, "new\n\nWaiting");
    EXPECT_NE(oldTag, GetListItemTag(3, 0));
    QueueListItemTextIfTagged(3, 0, oldTag, "CRC32 in filename", 2);
    QueueListItemTextIfTagged(3, 0, 0, "CRC32 in filename", 2);
    EXPECT_EQ("Waiting", GetListItemText(3, 0, 2));

    // A forged request (its pointer is none of ours) does nothing.
    std::string text = "forged";
    EXPECT_EQ(0, SendMessageA(list_, WM_APP + 0x5356, 0, reinterpret_cast<LPARAM>(&text)));
    EXPECT_EQ(0, SendMessageA(list_, WM_APP + 0x5356, 0, 0x10));
    EXPECT_EQ("Waiting", GetListItemText(3, 0, 2));
}

// Writes queued from another thread come in the order queued, before that
// thread's next request, even when the request reaches the list first (a sent
// message goes before posted ones); those for another row's tag are dropped,
// and one still queued for a cell gives way to the next for that cell.
// Writes queued together are made in one slice.
std::vector<std::string> g_writes;

TEST_F(FileListTest, QueuedWritesComeInOrderBeforeTheNextRequest) {
    AddListItem(3, -1, "a\n\nWaiting");
    uint32_t tag = GetListItemTag(3, 0);
    QueueListItemTextIfTagged(3, 0, tag, "0%", 2); // on the list's thread: at once
    EXPECT_EQ("0%", GetListItemText(3, 0, 2));

    g_writes.clear();
    BeforeCellWrite = [](int32_t, int32_t, const std::string& text) { g_writes.push_back(text); };
    std::atomic<bool> done{false};
    std::string seen;
    HWND window = window_->handle();
    std::thread worker([&] {
        QueueListItemTextIfTagged(3, 0, tag, "1%", 2);
        QueueListItemTextIfTagged(3, 0, tag + 1, "stale", 2);
        QueueListItemTextIfTagged(3, 0, tag, "2%", 2);
        QueueListItemTextIfTagged(3, 0, tag, "3%", 2); // takes the place of "2%"
        QueueListItemTextIfTagged(3, 0, tag, "x", 1);
        QueueListItemTextIfTagged(3, 0, tag, "4%", 2);
        seen = GetListItemText(3, 0, 2);
        done = true;
        PostMessageA(window, WM_APP, 0, 0);
    });
    Sleep(200); // both the posted and the sent message wait meanwhile
    bool served = WaitForEventWhere([&](const Event&) { return done.load(); }, 5000);
    worker.join();
    DrainEvents();
    BeforeCellWrite = nullptr;
    ASSERT_TRUE(served);
    EXPECT_EQ((std::vector<std::string>{"1%", "3%", "x", "4%"}), g_writes);
    EXPECT_EQ("4%", seen);

    // Writes that follow soon after others (the list is paced then) still
    // come on their own, with no request after them.
    std::thread later([&] {
        for (int percent = 3; percent <= 9; ++percent) {
            QueueListItemTextIfTagged(3, 0, tag, std::to_string(percent) + "%", 2);
            Sleep(percent % 2 * 7);
        }
    });
    EXPECT_TRUE(
        WaitForEventWhere([](const Event&) { return GetListItemText(3, 0, 2) == "9%"; }, 2000));
    later.join();
}

// A search that goes on from where the last one ended, as the checksum
// scheduler searches: exact texts only, up to its bounds, and a cleared list
// starts afresh.
std::vector<int32_t> RowsOf(const ListBatch& batch) {
    std::vector<int32_t> rows;
    for (const ListMatch& match : batch.rows)
        rows.push_back(match.row);
    return rows;
}

TEST_F(FileListTest, SearchesGoOnFromTheLastPositionUnlessTheListChanged) {
    using Rows = std::vector<int32_t>;
    for (const char* state : {"CRC32 in filename", "Waiting2", "Wait", "13%", "Waiting", "x"})
        AddListItem(3, -1, std::string("row\n\n") + state);
    ListBatch first = FindListItemTexts(3, 2, "Waiting", 0, 0, 0, 64, 65536);
    EXPECT_EQ(Rows{4}, RowsOf(first));
    EXPECT_EQ(GetListItemTag(3, 4), first.rows[0].tag);
    EXPECT_EQ(6, first.position);
    EXPECT_EQ(GetListItemTag(3, 5), first.tagBefore);

    // Rows added later are found from there on, with another cell of theirs,
    // up to the count or the bytes asked for (the first row always).
    for (const char* name : {"later", "much later", "latest"})
        AddListItem(3, -1, std::string(name) + "\n\nWaiting");
    ListBatch two =
        FindListItemTexts(3, 2, "Waiting", first.position, first.tagBefore, 0, 2, 65536);
    EXPECT_EQ((Rows{6, 7}), RowsOf(two));
    EXPECT_EQ("much later", two.rows[1].text);
    EXPECT_EQ(8, two.position);
    EXPECT_EQ(GetListItemTag(3, 7), two.tagBefore);
    EXPECT_EQ(Rows{6},
              RowsOf(FindListItemTexts(3, 2, "Waiting", 6, GetListItemTag(3, 5), 0, 64, 5)));
    ListBatch none = FindListItemTexts(3, 2, "Waiting", 9, GetListItemTag(3, 8), 0, 64, 65536);
    EXPECT_EQ(Rows{}, RowsOf(none));
    EXPECT_EQ(9, none.position);

    // After "Clear", the old position names rows of another list: all are
    // read. So does a position past the end.
    uint32_t clears = ListsCleared.load();
    ClearListItems(3);
    EXPECT_EQ(clears + 1, ListsCleared.load());
    for (int i = 0; i < 10; ++i)
        AddListItem(3, -1, "new\n\nWaiting");
    ListBatch fresh = FindListItemTexts(3, 2, "Waiting", first.position, first.tagBefore, 0, 1, 9);
    EXPECT_EQ(Rows{0}, RowsOf(fresh));
    EXPECT_EQ(1, fresh.position);
    EXPECT_EQ((Rows{0, 1}), RowsOf(FindListItemTexts(3, 2, "Waiting", 99, 7, 0, 2, 65536)));

    // A forged search (its pointer is none of ours) is ignored.
    EXPECT_EQ(0, SendMessageA(list_, WM_APP + 0x5357, 0, 0x10));
}

// A thread that waits for the queued writes has them made a slice (512) per
// request, down to the number it may leave, never splitting writes queued
// together. Only sent messages are served here, so the posted request and the
// pacing timer make none. Then a slice made for the posted request, with more
// left, posts the next one (no input or painting waits here).
TEST_F(FileListTest, AWaitingThreadHasTheWritesMadeASliceAtATime) {
    AddListItem(3, -1, "a\n\nWaiting");
    uint32_t tag = GetListItemTag(3, 0);
    std::atomic<size_t> left{SIZE_MAX};
    std::atomic<bool> done{false};
    auto queue = [tag] { // one write, then 600 pairs of other columns: none replaces another
        QueueListItemTextIfTagged(3, 0, tag, "one", 2);
        for (int i = 0; i < 1200; i += 2)
            QueueListItemTextsIfTagged(3, 0, tag,
                                       {{1, std::to_string(i)}, {2, std::to_string(i + 1)}});
    };
    std::thread worker([&] {
        queue();
        FlushQueuedListWrites(3, 600);
        left = CountQueuedListWrites();
        FlushQueuedListWrites(3);
        done = true;
    });
    MSG message;
    while (!done.load())
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    worker.join();
    EXPECT_EQ(176u, left.load()); // 1201, 688 (the pair at 512 goes whole), 176
    EXPECT_EQ(0u, CountQueuedListWrites());
    EXPECT_EQ((std::vector<std::string>{"a", "1198", "1199"}), Row(0));

    std::thread([&] { queue(); }).join();
    while (PeekMessageA(&message, list_, WM_APP + 0x5358, WM_APP + 0x5358, PM_REMOVE))
        DispatchMessageA(&message);
    EXPECT_EQ(0u, CountQueuedListWrites());
}

// A list that goes away with writes queued (and paced) leaves none behind.
TEST_F(FileListTest, ADestroyedListLeavesNothingQueued) {
    AddListItem(3, -1, "a\n\nWaiting");
    uint32_t tag = GetListItemTag(3, 0);
    std::thread worker([tag] {
        for (int i = 0; i < 5; ++i)
            QueueListItemTextIfTagged(3, 0, tag, std::to_string(i) + "%", 1 + i % 2);
    });
    worker.join();
    EXPECT_EQ(5u, CountQueuedListWrites());
    DestroyWindow(list_);
    EXPECT_EQ(0u, CountQueuedListWrites());
}

// Calls from other threads are carried out while this thread retrieves
// messages, in the event loop or in a message box.
std::atomic<int> g_timerCalls{0};

void CALLBACK WriteFromTimerThread(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    int n = ++g_timerCalls;
    if (n == 1) {
        SetListItemText(3, 0, "from timer", 2);
        AddListItem(3, -1, "timer row\n\nWaiting");
    }
}

TEST_F(FileListTest, OperationsFromOtherThreadsAreServedWhileWaitingForEvents) {
    AddListItem(3, -1, "a\n\nWaiting");
    std::atomic<bool> done{false};
    std::string seen;
    HWND window = window_->handle();
    std::thread plain([&] {
        SetListItemText(3, 0, "from thread", 1);
        seen = GetListItemText(3, 0, 1);
        done = true;
        PostMessageA(window, WM_APP, 0, 0);
    });
    ASSERT_TRUE(WaitForEventWhere([&](const Event&) { return done.load(); }, 5000));
    plain.join();
    EXPECT_EQ("from thread", seen);

    g_timerCalls = 0;
    MMRESULT timer = timeSetEvent(50, 0, WriteFromTimerThread, 0, TIME_PERIODIC);
    ASSERT_NE(0u, timer);
    bool served = WaitForEventWhere([](const Event&) { return CountListItems(3) == 2; }, 5000);
    timeKillEvent(timer);
    ASSERT_TRUE(served);
    EXPECT_EQ("from timer", GetListItemText(3, 0, 2));
    EXPECT_EQ("timer row", GetListItemText(3, 1, 0));
}

TEST_F(FileListTest, OperationsFromOtherThreadsAreServedWhileAMessageBoxIsOpen) {
    window_->ShowInFront();
    AddListItem(3, -1, "a\n\nWaiting");
    std::string seen;
    std::thread worker([&] {
        HWND box = WaitForTopLevel("#32770", "busy", 5000);
        for (int i = 0; i <= 100; i += 10)
            SetListItemText(3, 0, std::to_string(i) + "%", 2);
        seen = GetListItemText(3, 0, 2);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    ShowMessageBox("busy", "checksums go on", MB_OK);
    worker.join();
    EXPECT_EQ("100%", seen);
}

TEST(Controls, TextsButtonsAndFramesGetTheirStylesAndNumbers) {
    TestWindow w;
    HWND text = CreateTextControl(1, 10, 3, 120, 14, "Add files with Drag&&Drop");
    HWND right = CreateTextControl(2, 370, 3, 100, 14, "...coded by", 2);
    HWND button = CreateButton(4, 10, 215, 60, 20, "Add file");
    HWND frame = CreateFrame(0, 0, 0, 480, 240, "", 2);
    HWND box = CreateFrame(12, 0, 0, 48, 24, "group", 0);
    ASSERT_TRUE(text && right && button && frame && box);

    struct {
        HWND control;
        int id;
        const char* cls;
        LONG style;
        LONG exStyle;
    } cases[] = {
        {text, 1, "Static", 0x50020000, 0},   {right, 2, "Static", 0x50020002, 0},
        {button, 4, "Button", 0x50030000, 0}, {frame, 0, "Static", 0x54020001, WS_EX_STATICEDGE},
        {box, 12, "Button", 0x50020007, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(c.control, GetControlHandle(c.id));
        EXPECT_EQ(c.id, GetWindowLongA(c.control, GWL_ID));
        char cls[32] = {};
        GetClassNameA(c.control, cls, sizeof cls);
        EXPECT_STREQ(c.cls, cls);
        EXPECT_EQ(c.style, GetWindowLongA(c.control, GWL_STYLE) & 0xFFFF00FF);
        EXPECT_EQ(c.exStyle, GetWindowLongA(c.control, GWL_EXSTYLE) & c.exStyle);
        EXPECT_FALSE(IsListViewControl(c.id));
        // List operations on other kinds do nothing.
        EXPECT_EQ("", GetListItemText(c.id, 0, 0));
        EXPECT_EQ(0, CountListItems(c.id));
    }
    char label[64] = {};
    GetWindowTextA(text, label, sizeof label);
    EXPECT_STREQ("Add files with Drag&&Drop", label);
    EXPECT_EQ(0, GetSelectedIndex(4)); // the check state of a push button

    SetControlDisabled(1, 1);
    EXPECT_FALSE(IsWindowEnabled(text));
    SetControlDisabled(1, 0);
    EXPECT_TRUE(IsWindowEnabled(text));
    SetControlDisabled(77, 1); // a free number: nothing happens
}

TEST(Controls, ReusingANumberDestroysTheOldControlFirst) {
    TestWindow w;
    HWND first = CreateButton(5, 80, 215, 60, 20, "Clear");
    HWND second = CreateButton(5, 80, 215, 60, 20, "Clear again");
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(second, GetControlHandle(5));
    HWND distant = CreateButton(64, 0, 0, 10, 10, "far");
    EXPECT_EQ(distant, GetControlHandle(64));
    EXPECT_EQ(nullptr, GetControlHandle(63));
    EXPECT_EQ(nullptr, CreateButton(-2, 0, 0, 10, 10, "negative"));
    DestroyWindow(second);
    EXPECT_EQ(nullptr, GetControlHandle(5)); // freed when the control went
}

} // namespace
