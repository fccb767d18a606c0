#include "ui/ui_win_test_support.h"

#include "runtime/code_page_win.h"
#include "ui/controls_win.h"
#include "ui/events_win.h"
#include "ui/list_view_win.h"
#include "ui/menu_win.h"
#include "ui/window_win.h"

#include <shlobj.h>

#include <chrono>
#include <cstring>

TestWindow::TestWindow(uint32_t flags, const std::string& title) {
    InitWindowLayer();
    InitControlLayer();
    InitMenuLayer();
    window_ = CreateAppWindow(0, 0, 0, 480, 240, flags, title);
    SetControlParent(window_);
}

TestWindow::~TestWindow() {
    SetMessageCallback(nullptr);
    CloseAllWindows();
    DrainEvents();
}

void TestWindow::ShowInFront() {
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
    DrainEvents();
}

bool WaitForEventWhere(const std::function<bool(const Event&)>& want, int timeoutMs, Event* last) {
    UINT_PTR timer = SetTimer(nullptr, 0, 20, nullptr);
    DWORD start = GetTickCount();
    bool found = false;
    Event event = {};
    while (static_cast<int>(GetTickCount() - start) < timeoutMs) {
        event.code = WaitForEvent();
        event.control = GetEventControl();
        event.type = GetEventType();
        event.wParam = GetEventWParam();
        if (want(event)) {
            found = true;
            break;
        }
    }
    KillTimer(nullptr, timer);
    if (last != nullptr)
        *last = event;
    return found;
}

void DrainEvents() {
    while (PollEvent() != 0) {
    }
}

namespace {

// One argument for a Windows command line, quoted so that it arrives whole,
// quotes and backslashes included.
std::string WindowsQuoted(const std::string& text) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    return out + "'";
}

} // namespace

// Wine starts a Linux program without a process it can wait for: the handle
// it returns is signalled at once. So the program runs under sh, which leaves
// its exit code in a marker file when it ends, and the marker is awaited.
bool RunUnix(const std::vector<std::string>& argv) {
    static int serial = 0;
    std::string marker = "/tmp/sumvane-ui-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(++serial);
    std::string windowsMarker = "Z:" + marker;
    for (char& c : windowsMarker)
        if (c == '/')
            c = '\\';
    DeleteFileA(windowsMarker.c_str());

    std::string script;
    for (const std::string& arg : argv)
        script += ShellQuoted(arg) + " ";
    script += "; echo $? > " + marker + ".tmp; mv " + marker + ".tmp " + marker;
    std::string line = "Z:\\bin\\sh -c " + WindowsQuoted(script);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    for (int i = 0; i < 1000; ++i) {
        HANDLE file = CreateFileA(windowsMarker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char code[8] = {};
            DWORD got = 0;
            ReadFile(file, code, sizeof code - 1, &got, nullptr);
            CloseHandle(file);
            DeleteFileA(windowsMarker.c_str());
            return code[0] == '0';
        }
        Sleep(10);
    }
    return false;
}

bool Xdotool(const std::string& arguments) {
    std::vector<std::string> argv = {"/usr/bin/xdotool"};
    size_t at = 0;
    while (at < arguments.size()) {
        size_t space = arguments.find(' ', at);
        if (space == std::string::npos)
            space = arguments.size();
        if (space > at)
            argv.push_back(arguments.substr(at, space - at));
        at = space + 1;
    }
    return RunUnix(argv);
}

bool XdotoolType(const std::string& text) {
    return RunUnix({"/usr/bin/xdotool", "type", "--delay", "15", text});
}

void MovePointerTo(HWND window, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    Xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y));
}

std::thread Later(int delayMs, std::function<void()> fn) {
    return std::thread([delayMs, fn] {
        Sleep(static_cast<DWORD>(delayMs));
        fn();
    });
}

HDROP MakeDropHandle(const std::vector<std::string>& paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& p : paths)
        size += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    char* at = reinterpret_cast<char*>(header + 1);
    for (const std::string& p : paths) {
        std::memcpy(at, p.c_str(), p.size() + 1);
        at += p.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TempFolder::TempFolder() {
    // Process ids repeat once the Wine server starts again, and a test killed
    // by its timeout leaves its folder: the time of day, in 100 ns steps,
    // keeps a new name from meeting an old one.
    static int serial = 0;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    unixPath_ = "/tmp/sumvane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(ticks) + "-" + std::to_string(++serial);
    path_ = "Z:" + unixPath_;
    for (char& c : path_)
        if (c == '/')
            c = '\\';
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    RunUnix({"/bin/rm", "-rf", unixPath_});
}

std::string TempFolder::In(const std::string& name) const {
    return path_ + "\\" + name;
}

std::string TempFolder::Make(const std::string& name, size_t size) {
    return Make(name, std::string(size, 'x'));
}

std::string TempFolder::Make(const std::string& name, const std::string& bytes) {
    std::string full = In(name);
    // A path of any length: the wide call with the prefix takes them all.
    HANDLE file = CreateFileW(SystemWideText("\\\\?\\" + full).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return full;
}

std::string TempFolder::MakeSparse(const std::string& name, int64_t size) {
    std::string full = In(name);
    HANDLE file = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return full;
}

HWND CreateTestFileList() {
    HWND list = CreateListView(3, 10, 20, 460, 190, "Filename", 250, 0x40018008);
    AddListColumn(3, 1, "CRC32", 70);
    AddListColumn(3, 2, "State", 120);
    return list;
}

namespace {

struct TopLevelSearch {
    std::string className;
    std::string title;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    char text[512] = {};
    if (!search->className.empty()) {
        GetClassNameA(window, text, sizeof text);
        if (search->className != text)
            return TRUE;
    }
    if (!search->title.empty()) {
        GetWindowTextA(window, text, sizeof text);
        if (search->title != text)
            return TRUE;
    }
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM context) {
    char text[4096] = {};
    GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(context)->push_back(text);
    return TRUE;
}

} // namespace

HWND WaitForTopLevel(const std::string& className, const std::string& title, int timeoutMs) {
    DWORD start = GetTickCount();
    do {
        TopLevelSearch search = {className, title, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        Sleep(20);
    } while (static_cast<int>(GetTickCount() - start) < timeoutMs);
    return nullptr;
}

std::vector<std::string> ChildTexts(HWND dialog) {
    std::vector<std::string> texts;
    EnumChildWindows(dialog, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

namespace {

// The message of a message box is its Static child that is neither the icon
// nor empty.
BOOL CALLBACK FindMessageText(HWND child, LPARAM context) {
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    char text[4096] = {};
    GetWindowTextA(child, text, sizeof text);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) != SS_ICON && text[0] != '\0')
        *reinterpret_cast<std::string*>(context) = text;
    return TRUE;
}

} // namespace

BoxCloser::BoxCloser(const std::string& title) : title_(title), thread_([this] { Run(); }) {}

BoxCloser::~BoxCloser() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> BoxCloser::boxes() {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

void BoxCloser::Run() {
    while (!stop_) {
        HWND box = WaitForTopLevel("#32770", title_, 100);
        if (box == nullptr)
            continue;
        std::string message;
        EnumChildWindows(box, FindMessageText, reinterpret_cast<LPARAM>(&message));
        {
            std::lock_guard<std::mutex> guard(lock_);
            boxes_.push_back(message);
        }
        RECT r;
        GetWindowRect(box, &r);
        Xdotool("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                std::to_string(r.top + 10));
        Xdotool("key Return");
        for (int i = 0; i < 300 && IsWindow(box) && IsWindowVisible(box); ++i)
            Sleep(10);
    }
}
