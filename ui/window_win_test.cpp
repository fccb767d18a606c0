// The numbered window and its events, on a real window under Wine. Each test
// opens its own window and closes it again.
#include "ui/controls_win.h"
#include "ui/dropped_files_win.h"
#include "ui/events_win.h"
#include "ui/list_view_win.h"
#include "ui/ui_win_test_support.h"
#include "ui/window_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include <memory>

namespace {

constexpr uint32_t kDrop = WM_DROPFILES;

TEST(AppWindow, OpensHiddenCentredWithAnExactClientArea) {
    TestWindow w;
    HWND window = w.handle();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, GetWindowHandle(0));
    EXPECT_EQ(window, GetLastWindowHandle());
    EXPECT_FALSE(IsWindowVisible(window));

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(480, client.right - client.left);
    EXPECT_EQ(240, client.bottom - client.top);

    LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG expected = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(expected, style & (expected | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_VISIBLE));

    RECT outer;
    GetWindowRect(window, &outer);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2, outer.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, outer.top);

    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("initialize", title);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ("WindowClass_0", className);
    EXPECT_NE(0u, GetClassLongPtrA(window, GCLP_HICON)) << "the class carries icon resource 1";
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(LoadCursorA(nullptr, IDC_ARROW)),
              GetClassLongPtrA(window, GCLP_HCURSOR));

    SetWindowHidden(0, 0);
    EXPECT_TRUE(IsWindowVisible(window));
    SetWindowCaption(0, "Sumvane  v. 1.3");
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Sumvane  v. 1.3", title);
    SetWindowHidden(0, 1);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST(AppWindow, FlagsWithoutStylesStillGiveACaption) {
    for (uint32_t flags : {0x0u, 0x10000000u}) {
        TestWindow w(flags, "plain");
        SCOPED_TRACE(flags);
        ASSERT_NE(nullptr, w.handle());
        EXPECT_EQ(WS_CAPTION, GetWindowLongA(w.handle(), GWL_STYLE) & WS_CAPTION);
        EXPECT_EQ(flags == 0, IsWindowVisible(w.handle()) != FALSE);
    }
}

TEST(AppWindow, ReopeningANumberClosesTheOldWindowAndFreeNumbersAreHarmless) {
    TestWindow w;
    HWND first = w.handle();
    HWND second = CreateAppWindow(0, 10, 10, 100, 100, 0x10000000, "again");
    ASSERT_NE(nullptr, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(second, GetWindowHandle(0));
    HWND distant = CreateAppWindow(75, 10, 10, 50, 50, 0x10000000, "far");
    EXPECT_EQ(distant, GetWindowHandle(75));
    EXPECT_EQ(nullptr, GetWindowHandle(74));
    EXPECT_EQ(nullptr, GetWindowHandle(-1));
    EXPECT_EQ(nullptr, GetWindowHandle(100000));
    SetWindowHidden(500, 0);
    SetWindowCaption(500, "nothing");
    EXPECT_EQ(nullptr, CreateAppWindow(-1, 0, 0, 10, 10, 0, "negative"));
}

TEST(Events, CloseRequestIsReportedAndTheWindowStays) {
    TestWindow w;
    PostMessageA(w.handle(), WM_CLOSE, 0, 0);
    Event e;
    ASSERT_TRUE(WaitForEventWhere([](const Event& e) { return e.code == kCloseEvent; }, 5000, &e));
    EXPECT_TRUE(IsWindow(w.handle()));
}

TEST(Events, SizeChangeArrivesThroughThePostedMessage) {
    TestWindow w;
    DrainEvents();
    SetWindowPos(w.handle(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitForEventWhere([](const Event& e) { return e.code == kSizeEvent; }, 5000));
}

TEST(Events, PollOnAnEmptyQueueGivesZeroAndKeepsARecordedEvent) {
    TestWindow w;
    DrainEvents();
    EXPECT_EQ(0u, PollEvent());
    EXPECT_EQ(-1, GetEventType());

    // A row change caused by the program's own call is recorded between
    // retrievals and comes back with the next one.
    HWND list = CreateListView(3, 10, 20, 460, 190, "Filename", 250, 0x40018008);
    ASSERT_NE(nullptr, list);
    AddListItem(3, -1, "a\n\nWaiting");
    DrainEvents();
    LVITEMA selected = {};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected)); // LVN_ITEMCHANGED
    PostMessageA(w.handle(), WM_APP + 7, 0, 0);
    EXPECT_EQ(kControlEvent, PollEvent());
    EXPECT_EQ(3, GetEventControl());
    EXPECT_EQ(-1, GetEventType());
}

TEST(Events, RawMessagesComeBackAsTheirNumberWithTheirWParam) {
    TestWindow w;
    DrainEvents();
    PostMessageA(w.handle(), WM_APP + 9, 1234, 0);
    EXPECT_EQ(static_cast<uint32_t>(WM_APP + 9), WaitForEvent());
    EXPECT_EQ(1234u, GetEventWParam());
}

uint32_t g_callbackSeen = 0;

uint32_t SwallowCommands(HWND, uint32_t message, WPARAM, LPARAM) {
    if (message == WM_COMMAND || message == WM_USER + 1 || message == WM_USER + 2) {
        ++g_callbackSeen;
        return message == WM_COMMAND ? 0 : message == WM_USER + 1 ? 77 : 0xFFFFFFFFu;
    }
    return PassOnMarker;
}

TEST(Events, ACallbackResultOtherThanPassOnHidesTheMessage) {
    TestWindow w;
    DrainEvents();
    g_callbackSeen = 0;
    SetMessageCallback(SwallowCommands);
    // The callback's result goes back to the sender.
    EXPECT_EQ(77, SendMessageA(w.handle(), WM_USER + 1, 0, 0));
    // A 32-bit result reads as the same signed value in either build.
    EXPECT_EQ(-1, SendMessageA(w.handle(), WM_USER + 2, 0, 0));
    // A menu choice reaches the callback and nothing else: no menu event.
    PostMessageA(w.handle(), WM_COMMAND, 4, 0);
    EXPECT_EQ(static_cast<uint32_t>(WM_COMMAND), WaitForEvent());
    EXPECT_EQ(3u, g_callbackSeen);

    // Messages the callback passes on are handled as usual.
    PostMessageA(w.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(kCloseEvent, WaitForEvent());

    SetMessageCallback(nullptr);
    PostMessageA(w.handle(), WM_COMMAND, 4, 0);
    EXPECT_EQ(kMenuEvent, WaitForEvent());
    EXPECT_EQ(4, GetEventMenuItem());
    EXPECT_EQ(4, GetEventControl());
}

TEST(Events, AForgedNotificationFromElsewhereIsIgnored) {
    TestWindow w;
    DrainEvents();
    // A pointer that is no memory of ours must not be read.
    SendMessageA(w.handle(), WM_NOTIFY, 3, static_cast<LPARAM>(0x10));
    PostMessageA(w.handle(), WM_APP + 1, 0, 0);
    EXPECT_EQ(static_cast<uint32_t>(WM_APP + 1), WaitForEvent());
}

// Real clicks with the X pointer, as a user makes them.
class RealInput : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>();
        list_ = CreateTestFileList();
        button_ = CreateButton(6, 150, 215, 80, 20, "Copy CRC32");
        AddListItem(3, -1, "first > C:\\first\n\nWaiting");
        AddListItem(3, -1, "second > C:\\second\n\nWaiting");
        window_->ShowInFront();
    }
    void TearDown() override { window_.reset(); }

    // A point inside the first row, in the window's client coordinates.
    POINT FirstRowPoint() {
        RECT row = {};
        row.left = LVIR_BOUNDS;
        SendMessageA(list_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
        POINT p = {row.left + 40, (row.top + row.bottom) / 2};
        MapWindowPoints(list_, window_->handle(), &p, 1);
        return p;
    }

    std::unique_ptr<TestWindow> window_;
    HWND list_ = nullptr;
    HWND button_ = nullptr;
};

TEST_F(RealInput, AButtonClickIsAControlEventOfTypeZero) {
    MovePointerTo(window_->handle(), 190, 225);
    std::thread click = Later(100, [] { Xdotool("click 1"); });
    Event e;
    bool got = WaitForEventWhere([](const Event& e) { return e.code == kControlEvent; }, 5000, &e);
    click.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(6, e.control);
    EXPECT_EQ(0, e.type);
}

TEST_F(RealInput, ListClicksGiveTheirEventTypes) {
    struct {
        const char* clicks;
        int32_t type;
    } cases[] = {
        {"click 1", 0},
        {"click 3", 1},
        {"click --repeat 2 --delay 80 1", 2},
        {"click --repeat 2 --delay 80 3", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clicks);
        POINT p = FirstRowPoint();
        MovePointerTo(window_->handle(), p.x, p.y);
        DrainEvents();
        std::string clicks = c.clicks;
        std::thread click = Later(50, [clicks] { Xdotool(clicks); });
        int32_t want = c.type;
        bool got = WaitForEventWhere(
            [want](const Event& e) {
                return e.code == kControlEvent && e.control == 3 && e.type == want;
            },
            5000);
        click.join();
        EXPECT_TRUE(got);
        Sleep(300); // let a double click end before the next case
        DrainEvents();
    }
    EXPECT_EQ(0, GetSelectedIndex(3));
}

TEST_F(RealInput, TabWrapsFromTheLastStopToTheFirstAndBack) {
    // Tab stops in creation order: the list, then the button.
    SetFocus(button_);
    POINT p = FirstRowPoint();
    MovePointerTo(window_->handle(), p.x, p.y + 150); // over the window, off the rows
    std::thread key = Later(50, [] { Xdotool("key Tab"); });
    WaitForEventWhere([this](const Event&) { return GetFocus() == list_; }, 3000);
    key.join();
    EXPECT_EQ(list_, GetFocus()) << "Tab from the last stop";

    key = Later(50, [] { Xdotool("key shift+Tab"); });
    WaitForEventWhere([this](const Event&) { return GetFocus() == button_; }, 3000);
    key.join();
    EXPECT_EQ(button_, GetFocus()) << "Shift+Tab from the first stop";

    FocusNextCommand();
    EXPECT_EQ(list_, GetFocus());
    FocusNextCommand();
    EXPECT_EQ(button_, GetFocus());
    FocusPreviousCommand();
    EXPECT_EQ(list_, GetFocus());

    // A disabled control is no tab stop.
    EnableWindow(button_, FALSE);
    FocusNextCommand();
    EXPECT_EQ(list_, GetFocus());
}

TEST(Drops, ADropIsReportedWithItsHandle) {
    TestWindow w;
    DrainEvents();
    HDROP drop = MakeDropHandle({"C:\\a.bin", "C:\\b c.bin"});
    PostMessageA(w.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(kDrop, WaitForEvent());
    EXPECT_EQ(reinterpret_cast<WPARAM>(drop), GetEventWParam());
    EXPECT_EQ(2u, DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0));
    DragFinish(drop);
}

// A drop's block as another program may make it: a header with the list's
// offset and kind, then the list's bytes.
HDROP MakeDropBlock(DWORD offset, BOOL wide, const std::string& list) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = offset;
    header->fWide = wide;
    std::memcpy(header + 1, list.data(), list.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST(Drops, ThePathsAreReadInOnePassAndNothingOutsideTheBlock) {
    const DWORD start = sizeof(DROPFILES);
    const std::string wide("C\0:\0\\\0c\0a\0f\0\xE9\0\0\0x\0\0\0\0\0", 22);
    struct {
        HDROP drop;
        std::vector<std::string> paths;
    } cases[] = {
        {MakeDropBlock(start, FALSE, std::string("C:\\a.bin\0C:\\b c.bin\0\0", 22)),
         {"C:\\a.bin", "C:\\b c.bin"}},
        // Converted to this program's code page, 1252.
        {MakeDropBlock(start, TRUE, wide), {"C:\\caf\xE9", "x"}},
        // An odd offset, and a list that ends with the block.
        {MakeDropBlock(start + 1, FALSE, std::string("\0a\0b", 4)), {"a"}},
        {MakeDropBlock(start, FALSE, std::string("a\0", 2)), {"a"}},
        {MakeDropBlock(start + 100, FALSE, "a"), {}},
        {MakeDropBlock(0, FALSE, std::string("a\0\0", 3)), {}},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.paths, DroppedFilePaths(c.drop));
        GlobalFree(c.drop);
    }
}

// The overlap that would mask a drop: a row change recorded and not yet
// reported when the drop is retrieved.
TEST(Drops, ARowChangeRecordedBeforeTheDropDoesNotMaskIt) {
    TestWindow w;
    CreateTestFileList();
    AddListItem(3, -1, "a\n\nWaiting");
    DrainEvents();

    // Recorded between retrievals, by this thread's own write (a change of the
    // row's first cell always reports LVN_ITEMCHANGED).
    SetListItemText(3, 0, "b", 0);
    HDROP drop = MakeDropHandle({"C:\\one.bin"});
    PostMessageA(w.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(kDrop, WaitForEvent());
    EXPECT_EQ(reinterpret_cast<WPARAM>(drop), GetEventWParam());
    DragFinish(drop);

    // Recorded inside the retrieval, by another thread's write that the
    // retrieval serves just before it takes the drop from the queue.
    DrainEvents();
    HDROP second = MakeDropHandle({"C:\\two.bin"});
    HWND window = w.handle();
    std::thread worker = Later(100, [window, second] {
        SetListItemText(3, 0, "c", 0);
        PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(second), 0);
    });
    uint32_t code = WaitForEvent();
    worker.join();
    EXPECT_EQ(kDrop, code);
    EXPECT_EQ(reinterpret_cast<WPARAM>(second), GetEventWParam());
    EXPECT_EQ("c", GetListItemText(3, 0, 0));
    DragFinish(second);
    EXPECT_EQ(0u, PollEvent());
}

TEST(Drops, ADropMeetingAnotherEventComesNextAndOnlyOnce) {
    TestWindow w;
    DrainEvents();
    // A menu choice recorded between retrievals, then a drop in the queue.
    SendMessageA(w.handle(), WM_COMMAND, 5, 0);
    HDROP drop = MakeDropHandle({"C:\\one.bin"});
    PostMessageA(w.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(kMenuEvent, WaitForEvent());
    EXPECT_EQ(5, GetEventMenuItem());
    EXPECT_EQ(kDrop, PollEvent());
    EXPECT_EQ(reinterpret_cast<WPARAM>(drop), GetEventWParam());
    EXPECT_EQ(0u, PollEvent());
    DragFinish(drop);
}

TEST(Drops, ADropThatAModalLoopDispatchedStillReachesTheEventLoop) {
    TestWindow w;
    w.ShowInFront();
    HDROP drop = MakeDropHandle({"C:\\one.bin"});
    HWND window = w.handle();
    std::thread closer = Later(0, [window, drop] {
        HWND box = WaitForTopLevel("#32770", "modal", 5000);
        PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        Sleep(200); // the box's own loop takes the drop
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    MessageBoxA(window, "text", "modal", MB_OK);
    closer.join();
    EXPECT_EQ(kDrop, PollEvent());
    EXPECT_EQ(reinterpret_cast<WPARAM>(drop), GetEventWParam());
    DragFinish(drop);
    DrainEvents();
    EXPECT_EQ(0u, PollEvent());
}

} // namespace
