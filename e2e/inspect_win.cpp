// sumvane_inspect: a console helper for the end-to-end tests. It runs under the
// same wineserver as the program under test and reports what a user would see
// there: windows, controls, list rows, tooltips, message boxes, the clipboard,
// and a file's version resource.
//
// Output: one record per line, "kind<TAB>key=value<TAB>key=value...". Texts are
// escaped so that their exact bytes survive the trip through a pipe: "\\",
// "\t", "\r", "\n", and "\xHH" for every other byte below 0x20, for 0x7F and
// above, and for '"' and '='. Text arguments are decoded the same way, so a
// caller can pass any byte without fighting the command-line code page.
//
// Exit codes: 0 done, 1 not found or timed out, 2 bad usage, 3 a Win32 call
// failed. The reason for a non-zero code goes to stderr.

#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const int kExitOk = 0;
const int kExitNotFound = 1;
const int kExitUsage = 2;
const int kExitFailed = 3;

// Every message to another process is bounded, so that a hung target makes
// the helper fail instead of hanging the test.
const UINT kSendTimeoutMs = 3000;

// ---------------------------------------------------------------------------
// Texts in and out

std::string EscapeText(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F || c == '"' || c == '=') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes the escapes of EscapeText; an unknown or cut-off escape stays as it
// was written, so a plain Windows path with single backslashes also works.
std::string UnescapeText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char next = text[i + 1];
        if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Hex(unsigned long value) {
    char buffer[16];
    snprintf(buffer, sizeof buffer, "0x%08lX", value);
    return buffer;
}

std::string HandleText(HWND hwnd) {
    return Hex(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

// One output record; written with fwrite on a binary stdout, so a line ends
// in a single LF whatever the texts hold.
class Record {
  public:
    explicit Record(const char* kind) : line_(kind) {}
    Record& Add(const char* key, const std::string& value) {
        line_ += '\t';
        line_ += key;
        line_ += '=';
        line_ += value;
        return *this;
    }
    Record& Add(const char* key, long value) { return Add(key, std::to_string(value)); }
    Record& Text(const char* key, const std::string& value) { return Add(key, EscapeText(value)); }
    void Print() {
        line_ += '\n';
        fwrite(line_.data(), 1, line_.size(), stdout);
    }

  private:
    std::string line_;
};

int Fail(int code, const std::string& message) {
    fprintf(stderr, "sumvane_inspect: %s\n", message.c_str());
    return code;
}

// ---------------------------------------------------------------------------
// Handles and memory in the target process

class ProcessHandle {
  public:
    explicit ProcessHandle(HANDLE h) : h_(h) {}
    ~ProcessHandle() {
        if (h_ != nullptr)
            CloseHandle(h_);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

// A block of memory inside another process, for messages whose lParam points
// to a structure: the target reads and writes it in its own address space.
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, size_t size) : process_(process), size_(size) {
        base_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (base_ != nullptr)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool ok() const { return base_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(base_) + offset; }
    LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
    bool Write(size_t offset, const void* data, size_t size) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               WriteProcessMemory(process_, at(offset), data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               ReadProcessMemory(process_, at(offset), data, size, &done) && done == size;
    }
    // Reads a zero-terminated text that starts at offset, at most limit bytes.
    std::string ReadText(size_t offset, size_t limit) const {
        std::vector<char> bytes(limit + 1, '\0');
        if (!Read(offset, bytes.data(), limit))
            return std::string();
        return std::string(bytes.data());
    }
    std::wstring ReadWideText(size_t offset, size_t limit) const {
        std::vector<wchar_t> chars(limit + 1, L'\0');
        if (!Read(offset, chars.data(), limit * sizeof(wchar_t)))
            return std::wstring();
        return std::wstring(chars.data());
    }

  private:
    HANDLE process_;
    void* base_;
    size_t size_;
};

bool SendBounded(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             kSendTimeoutMs, &answer))
        return false;
    *result = static_cast<LRESULT>(answer);
    return true;
}

LRESULT SendOrZero(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    return SendBounded(hwnd, message, wparam, lparam, &result) ? result : 0;
}

DWORD WindowProcessId(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// GetWindowTextA reads another process's window text from the server without
// a message; GetWindowTextLengthA would send one, and a busy target would
// block it. So the buffer just grows until the text fits.
std::string WindowText(HWND hwnd) {
    for (int size = 1024; size <= (1 << 20); size *= 4) {
        std::vector<char> buffer(size, '\0');
        int got = GetWindowTextA(hwnd, buffer.data(), size);
        if (got < size - 1)
            return std::string(buffer.data(), got > 0 ? got : 0);
    }
    return std::string();
}

std::string ClassName(HWND hwnd) {
    char buffer[256] = {};
    int got = GetClassNameA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, got > 0 ? got : 0);
}

std::string NarrowText(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], size,
                            nullptr, nullptr);
    return out;
}

// ---------------------------------------------------------------------------
// Finding windows

struct WindowQuery {
    bool any_title = true;
    std::string title;
    DWORD pid = 0;          // 0: any process
    std::string class_name; // empty: any class
    bool visible_only = false;
};

bool Matches(HWND hwnd, const WindowQuery& q) {
    if (q.visible_only && !IsWindowVisible(hwnd))
        return false;
    if (q.pid != 0 && WindowProcessId(hwnd) != q.pid)
        return false;
    if (!q.class_name.empty() && lstrcmpiA(ClassName(hwnd).c_str(), q.class_name.c_str()) != 0)
        return false;
    return q.any_title || WindowText(hwnd) == q.title;
}

struct Collected {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
    Collected* c = reinterpret_cast<Collected*>(param);
    if (Matches(hwnd, *c->query))
        c->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> FindTopLevelWindows(const WindowQuery& q) {
    Collected c{&q, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&c));
    return c.found;
}

// The same lookup the program's second instance makes (FindWindowA by exact
// title) when nothing narrows it further, so the tests see what it sees.
HWND FindTopLevel(const WindowQuery& q) {
    if (!q.any_title && q.pid == 0 && q.class_name.empty() && !q.visible_only)
        return FindWindowA(nullptr, q.title.c_str());
    std::vector<HWND> all = FindTopLevelWindows(q);
    return all.empty() ? nullptr : all.front();
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

RECT ScreenRect(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

void PrintWindowRecord(HWND hwnd) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    RECT client = {};
    GetClientRect(hwnd, &client);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    Record("window")
        .Add("hwnd", HandleText(hwnd))
        .Add("pid", static_cast<long>(pid))
        .Add("tid", static_cast<long>(tid))
        .Add("visible", IsWindowVisible(hwnd) ? 1L : 0L)
        .Add("enabled", IsWindowEnabled(hwnd) ? 1L : 0L)
        .Add("style", Hex(GetWindowLongA(hwnd, GWL_STYLE)))
        .Add("exstyle", Hex(GetWindowLongA(hwnd, GWL_EXSTYLE)))
        .Add("rect", RectText(ScreenRect(hwnd)))
        .Add("client", std::to_string(client.right - client.left) + "," +
                           std::to_string(client.bottom - client.top))
        .Add("origin", std::to_string(origin.x) + "," + std::to_string(origin.y))
        .Add("owner", HandleText(GetWindow(hwnd, GW_OWNER)))
        .Text("class", ClassName(hwnd))
        .Text("title", WindowText(hwnd))
        .Print();
}

void PrintControlRecord(HWND hwnd) {
    Record("control")
        .Add("hwnd", HandleText(hwnd))
        .Add("id", static_cast<long>(GetDlgCtrlID(hwnd)))
        .Add("parent", HandleText(GetParent(hwnd)))
        .Add("visible", IsWindowVisible(hwnd) ? 1L : 0L)
        .Add("enabled", IsWindowEnabled(hwnd) ? 1L : 0L)
        .Add("style", Hex(GetWindowLongA(hwnd, GWL_STYLE)))
        .Add("exstyle", Hex(GetWindowLongA(hwnd, GWL_EXSTYLE)))
        .Add("rect", RectText(ScreenRect(hwnd)))
        .Text("class", ClassName(hwnd))
        .Text("text", WindowText(hwnd))
        .Print();
}

// ---------------------------------------------------------------------------
// Command line

struct Args {
    WindowQuery query;
    std::vector<std::string> positional;
    DWORD timeout_ms = kSendTimeoutMs; // --timeout: how long "send" waits per message
    std::string text;                  // --text: what "send" keeps in its own memory
    size_t size = 0;                   // --size: zero bytes after the text up to this size
    bool write = false;                // --write: "hold" opens the files for writing too
};

// Options: --pid N, --class NAME, --visible, --timeout MS, --text TEXT,
// --size N, --write.
// Everything else is positional and unescaped.
bool ParseArgs(int argc, char** argv, int first, Args* args) {
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--pid" && i + 1 < argc) {
            args->query.pid = strtoul(argv[++i], nullptr, 10);
        } else if (a == "--class" && i + 1 < argc) {
            args->query.class_name = UnescapeText(argv[++i]);
        } else if (a == "--visible") {
            args->query.visible_only = true;
        } else if (a == "--timeout" && i + 1 < argc) {
            args->timeout_ms = strtoul(argv[++i], nullptr, 10);
        } else if (a == "--text" && i + 1 < argc) {
            args->text = UnescapeText(argv[++i]);
        } else if (a == "--size" && i + 1 < argc) {
            args->size = strtoul(argv[++i], nullptr, 10);
        } else if (a == "--write") {
            args->write = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return false;
        } else {
            args->positional.push_back(UnescapeText(a));
        }
    }
    return true;
}

// Takes the title from the first positional argument, if there is one.
void TakeTitle(Args* args) {
    if (!args->positional.empty()) {
        args->query.any_title = false;
        args->query.title = args->positional.front();
        args->positional.erase(args->positional.begin());
    }
}

HWND RequireWindow(const Args& args) {
    HWND hwnd = FindTopLevel(args.query);
    if (hwnd == nullptr)
        Fail(kExitNotFound, "no window \"" + EscapeText(args.query.title) + "\"");
    return hwnd;
}

// ---------------------------------------------------------------------------
// Commands: windows

int CommandWindows(Args& args) {
    TakeTitle(&args);
    std::vector<HWND> all = FindTopLevelWindows(args.query);
    for (HWND hwnd : all)
        PrintWindowRecord(hwnd);
    return kExitOk;
}

int CommandWindow(Args& args) {
    TakeTitle(&args);
    HWND hwnd = RequireWindow(args);
    if (hwnd == nullptr)
        return kExitNotFound;
    PrintWindowRecord(hwnd);
    return kExitOk;
}

int CommandControls(Args& args) {
    TakeTitle(&args);
    HWND hwnd = RequireWindow(args);
    if (hwnd == nullptr)
        return kExitNotFound;
    PrintWindowRecord(hwnd);
    for (HWND child : ChildWindows(hwnd))
        PrintControlRecord(child);
    return kExitOk;
}

int CommandWait(Args& args, bool until_gone) {
    TakeTitle(&args);
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: wait-window|wait-gone [options] TITLE TIMEOUT_MS");
    DWORD timeout = strtoul(args.positional[0].c_str(), nullptr, 10);
    DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindTopLevel(args.query);
        if (until_gone && hwnd == nullptr)
            return kExitOk;
        if (!until_gone && hwnd != nullptr) {
            PrintWindowRecord(hwnd);
            return kExitOk;
        }
        if (GetTickCount() - start >= timeout)
            break;
        Sleep(15);
    }
    return Fail(kExitNotFound, std::string(until_gone ? "still there: " : "did not appear: ") +
                                   "\"" + EscapeText(args.query.title) + "\"");
}

// Reports every window that starts to match during the given time: new
// windows, and with --visible also hidden ones that are shown. A "ready"
// record says that the windows already there have been noted, so a caller
// starts what it watches only after that line.
int CommandWatch(Args& args) {
    if (args.positional.size() == 2)
        TakeTitle(&args);
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: watch [options] [TITLE] DURATION_MS");
    DWORD duration = strtoul(args.positional[0].c_str(), nullptr, 10);
    std::vector<HWND> seen = FindTopLevelWindows(args.query);
    Record("ready").Add("known", static_cast<long>(seen.size())).Print();
    fflush(stdout);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < duration) {
        for (HWND hwnd : FindTopLevelWindows(args.query)) {
            bool known = false;
            for (HWND s : seen)
                known = known || s == hwnd;
            if (!known) {
                seen.push_back(hwnd);
                PrintWindowRecord(hwnd);
                fflush(stdout);
            }
        }
        Sleep(5);
    }
    Record("end").Print();
    return kExitOk;
}

// Seconds since 1970 from the system clock, which other programs on this
// machine read too, so that a caller can set them against its own moments.
double UnixSeconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks; // 100 ns since 1601
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return double(ticks.QuadPart) / 1e7 - 11644473600.0;
}

// Looks at a list's row count every 10 ms (one message each) and prints the
// first count and every change, with the moment it was seen. With ROWS, it
// ends at the first look that finds ROWS rows or more, or none when ROWS is
// 0; without, when DURATION_MS is over. A look the window leaves unanswered
// for 3 s is skipped.
int CommandCountWatch(Args& args) {
    TakeTitle(&args);
    if (args.positional.size() != 2 && args.positional.size() != 3)
        return Fail(kExitUsage, "usage: count-watch TITLE CONTROL_ID DURATION_MS [ROWS]");
    int id = atoi(args.positional[0].c_str());
    DWORD duration = strtoul(args.positional[1].c_str(), nullptr, 10);
    bool until = args.positional.size() == 3;
    long rows = until ? atol(args.positional[2].c_str()) : 0;
    DWORD start = GetTickCount();
    HWND hwnd = nullptr;
    while ((hwnd = FindTopLevel(args.query)) == nullptr && GetTickCount() - start < duration)
        Sleep(5);
    HWND list = hwnd != nullptr ? GetDlgItem(hwnd, id) : nullptr;
    if (list == nullptr)
        return Fail(kExitNotFound, "no list " + std::to_string(id));
    Record("ready").Print();
    fflush(stdout);
    timeBeginPeriod(1);
    long last = -1, looks = 0;
    bool reached = false;
    char at[32];
    while (!reached && GetTickCount() - start < duration) {
        LRESULT count = 0;
        ++looks;
        if (SendBounded(list, LVM_GETITEMCOUNT, 0, 0, &count)) {
            snprintf(at, sizeof at, "%.6f", UnixSeconds());
            reached = until && (rows == 0 ? count == 0 : count >= rows);
            if (count != last || reached) {
                Record("count").Add("at", at).Add("rows", static_cast<long>(count)).Print();
                fflush(stdout);
            }
            last = static_cast<long>(count);
        }
        if (!reached)
            Sleep(10);
    }
    timeEndPeriod(1);
    Record("end").Add("looks", looks).Add("reached", reached ? 1L : 0L).Print();
    return !until || reached ? kExitOk : kExitNotFound;
}

int CommandClose(Args& args) {
    TakeTitle(&args);
    HWND hwnd = RequireWindow(args);
    if (hwnd == nullptr)
        return kExitNotFound;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    return kExitOk;
}

int CommandTerminate(Args& args) {
    if (args.query.pid == 0)
        return Fail(kExitUsage, "usage: terminate --pid N [EXIT_CODE]");
    UINT code = args.positional.empty() ? 1 : strtoul(args.positional[0].c_str(), nullptr, 10);
    ProcessHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, args.query.pid));
    if (process.get() == nullptr)
        return Fail(kExitNotFound, "no process " + std::to_string(args.query.pid));
    if (!TerminateProcess(process.get(), code))
        return Fail(kExitFailed, "TerminateProcess failed");
    return kExitOk;
}

// Counts the handles a process holds, from the system's table of all
// handles (GetProcessHandleCount answers 0 under Wine).
int CommandHandles(Args& args) {
    if (args.query.pid == 0)
        return Fail(kExitUsage, "usage: handles --pid N");
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return Fail(kExitFailed, "no NtQuerySystemInformation");
    const ULONG kSystemHandleInformation = 16;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    LONG status = kInfoLengthMismatch;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == kInfoLengthMismatch &&
           buffer.size() < (1u << 28))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return Fail(kExitFailed, "NtQuerySystemInformation failed: " + Hex(status));
    ULONG total = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long count = 0;
    for (ULONG i = 0; i < total; ++i)
        count += entries[i].ownerPid == args.query.pid ? 1 : 0;
    Record("handles").Add("pid", static_cast<long>(args.query.pid)).Add("count", count).Print();
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Commands: the list view of another process

// Whether a process is of this helper's build (both 32-bit or both 64-bit):
// list rows and tips are read by placing structures in the other process,
// which takes them in its own layout, so a 32-bit program is read by the
// i686 build of this helper.
bool SameBuild(HANDLE process) {
    BOOL mine = FALSE;
    BOOL theirs = FALSE;
    return IsWow64Process(GetCurrentProcess(), &mine) && IsWow64Process(process, &theirs) &&
           mine == theirs;
}

const char kOtherBuild[] = "the process is of the other build; read it with that build's helper";

const DWORD kRemoteAccess =
    PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;

// Reads one cell. LVM_GETITEMTEXTA answers with the number of bytes it copied;
// a full buffer may mean a cut, so the buffer grows until the text fits.
bool ReadCell(HWND list, HANDLE process, int row, int column, std::string* text) {
    for (size_t capacity = 1024; capacity <= (1u << 22); capacity *= 4) {
        RemoteBlock block(process, sizeof(LVITEMA) + capacity);
        if (!block.ok())
            return false;
        LVITEMA item = {};
        item.iSubItem = column;
        item.cchTextMax = static_cast<int>(capacity);
        item.pszText = block.at(sizeof(LVITEMA));
        if (!block.Write(0, &item, sizeof item))
            return false;
        LRESULT copied = 0;
        if (!SendBounded(list, LVM_GETITEMTEXTA, row, block.param(), &copied))
            return false;
        if (copied < 0)
            copied = 0;
        if (static_cast<size_t>(copied) + 1 < capacity) {
            std::vector<char> bytes(copied + 1, '\0');
            if (!block.Read(sizeof(LVITEMA), bytes.data(), copied))
                return false;
            text->assign(bytes.data(), copied);
            return true;
        }
    }
    return false;
}

bool ReadColumn(HWND list, HANDLE process, int column, int* width, int* format, std::string* text) {
    const size_t capacity = 4096;
    RemoteBlock block(process, sizeof(LVCOLUMNA) + capacity);
    if (!block.ok())
        return false;
    LVCOLUMNA col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.cchTextMax = capacity;
    col.pszText = block.at(sizeof(LVCOLUMNA));
    if (!block.Write(0, &col, sizeof col))
        return false;
    LRESULT ok = 0;
    if (!SendBounded(list, LVM_GETCOLUMNA, column, block.param(), &ok) || !ok)
        return false;
    if (!block.Read(0, &col, sizeof col))
        return false;
    *width = col.cx;
    *format = col.fmt;
    *text = block.ReadText(sizeof(LVCOLUMNA), capacity - 1);
    return true;
}

bool ReadRowRect(HWND list, HANDLE process, int row, RECT* rect) {
    RemoteBlock block(process, sizeof(RECT));
    if (!block.ok())
        return false;
    RECT r = {};
    r.left = LVIR_BOUNDS;
    LRESULT ok = 0;
    if (!block.Write(0, &r, sizeof r) ||
        !SendBounded(list, LVM_GETITEMRECT, row, block.param(), &ok) || !ok ||
        !block.Read(0, &r, sizeof r))
        return false;
    MapWindowPoints(list, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    *rect = r;
    return true;
}

// Times one row's checksum as a user sees it: from the first percentage in
// its State column to its checksum in the CRC32 column (or to "ReadError").
// Given a LAST_ROW, from the first percentage of ROW to the checksum of
// LAST_ROW: several files one after another, as a user waits for them.
// The record also tells when the checksum was seen, as seconds since 1970 by
// the system clock ("at"), so that a caller can time the program from its
// start.
// Each column has a request block of its own that stays in the target, so a
// look costs one message and one read. Looks are a millisecond apart until
// the first percentage, then further apart while the end is far (so that
// they hardly slow the program), then a millisecond apart again, on the
// checksum, with the State column read only every 16th look.
int CommandTimeRow(Args& args) {
    TakeTitle(&args);
    if (args.positional.size() != 3 && args.positional.size() != 4)
        return Fail(kExitUsage,
                    "usage: time-row [options] TITLE CONTROL_ID ROW TIMEOUT_MS [LAST_ROW]");
    int id = atoi(args.positional[0].c_str());
    int row = atoi(args.positional[1].c_str());
    DWORD timeout = strtoul(args.positional[2].c_str(), nullptr, 10);
    int lastRow = args.positional.size() == 4 ? atoi(args.positional[3].c_str()) : row;
    DWORD start = GetTickCount();
    HWND hwnd = nullptr;
    while ((hwnd = FindTopLevel(args.query)) == nullptr && GetTickCount() - start < timeout)
        Sleep(5);
    HWND list = hwnd != nullptr ? GetDlgItem(hwnd, id) : nullptr;
    if (list == nullptr)
        return Fail(kExitNotFound, "no list " + std::to_string(id));
    ProcessHandle process(OpenProcess(kRemoteAccess, FALSE, WindowProcessId(list)));
    const size_t capacity = 64;
    RemoteBlock crcBlock(process.get(), sizeof(LVITEMA) + capacity);
    RemoteBlock stateBlock(process.get(), sizeof(LVITEMA) + capacity);
    if (process.get() == nullptr || !crcBlock.ok() || !stateBlock.ok())
        return Fail(kExitFailed, "cannot reach the list's process");
    if (!SameBuild(process.get()))
        return Fail(kExitFailed, kOtherBuild);
    for (int column : {1, 2}) {
        const RemoteBlock& block = column == 1 ? crcBlock : stateBlock;
        LVITEMA item = {};
        item.iSubItem = column;
        item.cchTextMax = static_cast<int>(capacity);
        item.pszText = block.at(sizeof(LVITEMA));
        if (!block.Write(0, &item, sizeof item))
            return Fail(kExitFailed, "WriteProcessMemory failed");
    }
    bool seenPercent = false, nearEnd = false;
    auto look = [&](const RemoteBlock& block, std::string* text) {
        LRESULT copied = 0;
        int at = (&block == &crcBlock || nearEnd) ? lastRow : row;
        if (!SendBounded(list, LVM_GETITEMTEXTA, at, block.param(), &copied))
            return false;
        *text = block.ReadText(sizeof(LVITEMA), capacity - 1);
        return true;
    };

    LARGE_INTEGER frequency, first = {}, now;
    FILETIME clock;
    QueryPerformanceFrequency(&frequency);
    int firstShare = 0;
    long looks = 0;
    std::string state, crc;
    timeBeginPeriod(1);
    while (GetTickCount() - start < timeout) {
        bool readState = !nearEnd || looks % 16 == 0;
        ++looks;
        if ((readState && !look(stateBlock, &state)) || !look(crcBlock, &crc))
            break;
        QueryPerformanceCounter(&now);
        GetSystemTimeAsFileTime(&clock);
        bool percent = !state.empty() && state.back() == '%';
        if (!seenPercent && percent) {
            seenPercent = true;
            first = now;
            firstShare = atoi(state.c_str());
        }
        // Until the end is near, the next look comes after a quarter of the
        // time the row still needs at its pace since the first percentage
        // (10 ms while it has not moved on from there, at most 50 ms): a few
        // dozen looks for a whole file, each of which costs the program's
        // window a message.
        DWORD pause = 1;
        if (seenPercent && lastRow != row) {
            nearEnd = true; // the last row's state says nothing of the first's pace
            pause = 5;
        } else if (seenPercent && !nearEnd) {
            int share = percent ? atoi(state.c_str()) : 100;
            double sofar =
                double(now.QuadPart - first.QuadPart) * 1000.0 / double(frequency.QuadPart);
            double left = share > firstShare ? sofar * (100 - share) / (share - firstShare) : 40.0;
            nearEnd = share >= 95 || left < 20.0;
            pause = nearEnd ? 1 : static_cast<DWORD>(left < 200.0 ? left / 4 : 50.0);
        }
        if (!crc.empty() || state == "ReadError") {
            timeEndPeriod(1);
            look(stateBlock, &state);
            double ms = seenPercent ? double(now.QuadPart - first.QuadPart) * 1000.0 /
                                          double(frequency.QuadPart)
                                    : -1.0;
            ULARGE_INTEGER ticks; // 100 ns since 1601, when the checksum was seen
            ticks.LowPart = clock.dwLowDateTime;
            ticks.HighPart = clock.dwHighDateTime;
            char figure[32], at[32];
            snprintf(figure, sizeof figure, "%.3f", ms);
            snprintf(at, sizeof at, "%.6f", double(ticks.QuadPart - 116444736000000000ULL) / 1e7);
            Record("timing")
                .Add("ms", figure)
                .Add("at", at)
                .Add("looks", looks)
                .Add("from", static_cast<long>(firstShare))
                .Text("state", state)
                .Text("crc", crc)
                .Print();
            return kExitOk;
        }
        Sleep(pause);
    }
    timeEndPeriod(1);
    return Fail(kExitNotFound, "the row did not finish in time");
}

int CommandRows(Args& args) {
    TakeTitle(&args);
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: rows [options] TITLE CONTROL_ID");
    HWND hwnd = RequireWindow(args);
    if (hwnd == nullptr)
        return kExitNotFound;
    int id = atoi(args.positional[0].c_str());
    HWND list = GetDlgItem(hwnd, id);
    if (list == nullptr)
        return Fail(kExitNotFound, "no control " + std::to_string(id));
    ProcessHandle process(OpenProcess(kRemoteAccess, FALSE, WindowProcessId(list)));
    if (process.get() == nullptr)
        return Fail(kExitFailed, "OpenProcess failed");
    if (!SameBuild(process.get()))
        return Fail(kExitFailed, kOtherBuild);

    HWND header = reinterpret_cast<HWND>(SendOrZero(list, LVM_GETHEADER, 0, 0));
    int columns =
        header != nullptr ? static_cast<int>(SendOrZero(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    int count = static_cast<int>(SendOrZero(list, LVM_GETITEMCOUNT, 0, 0));
    int selected = static_cast<int>(
        SendOrZero(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    Record("list")
        .Add("hwnd", HandleText(list))
        .Add("id", static_cast<long>(id))
        .Add("count", static_cast<long>(count))
        .Add("columns", static_cast<long>(columns))
        .Add("selected", static_cast<long>(selected))
        .Add("top", static_cast<long>(SendOrZero(list, LVM_GETTOPINDEX, 0, 0)))
        .Add("style", Hex(GetWindowLongA(list, GWL_STYLE)))
        .Add("lvexstyle", Hex(SendOrZero(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)))
        .Add("rect", RectText(ScreenRect(list)))
        .Add("header", header != nullptr ? RectText(ScreenRect(header)) : std::string("0,0,0,0"))
        .Print();

    for (int c = 0; c < columns; ++c) {
        int width = 0, format = 0;
        std::string text;
        if (!ReadColumn(list, process.get(), c, &width, &format, &text))
            return Fail(kExitFailed, "LVM_GETCOLUMNA failed for column " + std::to_string(c));
        Record("column")
            .Add("index", static_cast<long>(c))
            .Add("width", static_cast<long>(width))
            .Add("fmt", static_cast<long>(format))
            .Text("text", text)
            .Print();
    }
    // Without a header the list still has column 0.
    int cells = columns > 0 ? columns : 1;
    // Rows are read from the last to the first and printed in order. A row
    // only ever moves on (waiting, progress, result) and rows start in list
    // order, so a row read later is never seen behind one read before it
    // unless the list itself put it there: a snapshot that shows a waiting
    // row above a started one means the program started them out of order.
    std::vector<Record> records;
    for (int row = count - 1; row >= 0; --row) {
        records.emplace_back("row");
        Record& record = records.back();
        record.Add("index", static_cast<long>(row));
        LRESULT state = SendOrZero(list, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_FOCUSED);
        record.Add("selected", (state & LVIS_SELECTED) ? 1L : 0L);
        record.Add("focused", (state & LVIS_FOCUSED) ? 1L : 0L);
        RECT rect = {};
        bool have_rect = ReadRowRect(list, process.get(), row, &rect);
        record.Add("rect", have_rect ? RectText(rect) : std::string("0,0,0,0"));
        for (int c = 0; c < cells; ++c) {
            std::string text;
            if (!ReadCell(list, process.get(), row, c, &text))
                return Fail(kExitFailed, "LVM_GETITEMTEXTA failed at row " + std::to_string(row));
            std::string key = "col" + std::to_string(c);
            record.Text(key.c_str(), text);
        }
    }
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        it->Print();
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Commands: tooltips

// What the tooltip's own messages report; used to recognise its private data.
struct TipFacts {
    int tools = 0;
    int max_width = 0;
    int initial = 0;
    DWORD text_color = 0;
    DWORD bk_color = 0;
};

// Wine 8 does not implement TTM_GETTITLE, so the title is read from the
// control's private data in the target process instead. That record starts
// with the tooltip's own handle and a 1024-character tip buffer, followed by
// (among others) the tool count, the two colours, ..., the maximum width,
// three tool indexes, the three delays, the margins, a flag and the title
// pointer. Handles and pointers are as wide as the target's, which is taken
// to be of this helper's build. The fields found through the messages anchor
// the search, so a layout that differs gives no title rather than a wrong one.
bool ReadTitleFromWineTooltip(HWND tip, HANDLE process, const TipFacts& facts, std::string* title) {
    const size_t kTipChars = 1024;
    const size_t kFields = 64;
    const size_t fields_offset = sizeof(HWND) + kTipChars * sizeof(wchar_t);
    LONG_PTR info = GetWindowLongPtrA(tip, 0);
    if (info == 0)
        return false;
    std::vector<char> bytes(fields_offset + kFields * sizeof(DWORD), 0);
    SIZE_T done = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(info), bytes.data(), bytes.size(),
                           &done) ||
        done != bytes.size())
        return false;
    HWND self = nullptr;
    memcpy(&self, bytes.data(), sizeof self);
    if (self != tip)
        return false;
    std::vector<DWORD> f(kFields);
    memcpy(f.data(), bytes.data() + fields_offset, kFields * sizeof(DWORD));
    for (size_t i = 0; i + 3 < kFields; ++i) {
        if (f[i] != static_cast<DWORD>(facts.tools) || f[i + 1] != facts.bk_color ||
            f[i + 2] != facts.text_color)
            continue;
        for (size_t j = i + 3; j + 14 < kFields && j < i + 12; ++j) {
            if (f[j] != static_cast<DWORD>(facts.max_width) ||
                f[j + 6] != static_cast<DWORD>(facts.initial))
                continue;
            // The title pointer follows the flag, at the pointer's alignment.
            size_t at = fields_offset + (j + 12) * sizeof(DWORD);
            at = (at + alignof(void*) - 1) / alignof(void*) * alignof(void*);
            void* pointer = nullptr;
            memcpy(&pointer, bytes.data() + at, sizeof pointer);
            if (pointer == nullptr) {
                title->clear();
                return true;
            }
            std::vector<wchar_t> chars(kTipChars + 1, L'\0');
            SIZE_T got = 0;
            // The title may sit near the end of a page, so read less if need be.
            for (size_t n = kTipChars; n >= 16; n /= 2) {
                if (ReadProcessMemory(process, pointer, chars.data(), n * sizeof(wchar_t), &got))
                    break;
            }
            if (got == 0)
                return false;
            *title = NarrowText(std::wstring(chars.data()));
            return true;
        }
    }
    return false;
}

// Wine's ANSI tooltip messages copy at most 80 bytes of a tool's text, so the
// texts are read with the wide messages and converted to the ANSI code page,
// which gives back the bytes the program handed in.
int CommandTooltips(Args& args) {
    DWORD pid = args.query.pid;
    TakeTitle(&args);
    if (!args.query.any_title) {
        WindowQuery owner_query = args.query;
        owner_query.class_name.clear();
        HWND owner = FindTopLevel(owner_query);
        if (owner == nullptr)
            return Fail(kExitNotFound, "no window \"" + EscapeText(args.query.title) + "\"");
        pid = WindowProcessId(owner);
    }
    if (pid == 0)
        return Fail(kExitUsage, "usage: tooltips (--pid N | TITLE)");

    WindowQuery tips;
    tips.pid = pid;
    tips.class_name = "tooltips_class32";
    std::vector<HWND> found = FindTopLevelWindows(tips);
    ProcessHandle process(OpenProcess(kRemoteAccess, FALSE, pid));
    if (process.get() == nullptr)
        return Fail(kExitFailed, "OpenProcess failed");
    if (!SameBuild(process.get()))
        return Fail(kExitFailed, kOtherBuild);

    const size_t text_chars = 32768;
    for (HWND tip : found) {
        RemoteBlock block(process.get(), sizeof(TTGETTITLE) + sizeof(TTTOOLINFOW) +
                                             (text_chars + 1) * sizeof(wchar_t));
        if (!block.ok())
            return Fail(kExitFailed, "VirtualAllocEx failed");
        const size_t text_offset = sizeof(TTGETTITLE) + sizeof(TTTOOLINFOW);

        int tools = static_cast<int>(SendOrZero(tip, TTM_GETTOOLCOUNT, 0, 0));
        TipFacts facts;
        facts.tools = tools;
        facts.max_width = static_cast<int>(SendOrZero(tip, TTM_GETMAXTIPWIDTH, 0, 0));
        facts.initial = static_cast<int>(SendOrZero(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
        facts.text_color = static_cast<DWORD>(SendOrZero(tip, TTM_GETTIPTEXTCOLOR, 0, 0));
        facts.bk_color = static_cast<DWORD>(SendOrZero(tip, TTM_GETTIPBKCOLOR, 0, 0));

        // A sentinel in the buffer tells whether TTM_GETTITLE wrote anything.
        std::string title;
        const char* title_source = "none";
        TTGETTITLE get_title = {};
        get_title.dwSize = sizeof get_title;
        get_title.cch = text_chars;
        get_title.pszTitle = reinterpret_cast<WCHAR*>(block.at(text_offset));
        const wchar_t untouched[2] = {0xFFFF, 0};
        wchar_t zero = L'\0';
        LRESULT ignored = 0;
        if (block.Write(0, &get_title, sizeof get_title) &&
            block.Write(text_offset, untouched, sizeof untouched) &&
            SendBounded(tip, TTM_GETTITLE, 0, block.param(), &ignored)) {
            std::wstring wide = block.ReadWideText(text_offset, text_chars);
            if (wide != untouched) {
                title = NarrowText(wide);
                title_source = "message";
            }
        }
        if (std::string(title_source) == "none" &&
            ReadTitleFromWineTooltip(tip, process.get(), facts, &title))
            title_source = "memory";

        // WM_GETTEXT answers with the text of the tip on show, if one shows.
        // The system carries this message's buffer across processes itself.
        std::vector<char> shown_buffer(8192, '\0');
        LRESULT shown_length = 0;
        std::string shown;
        if (SendBounded(tip, WM_GETTEXT, shown_buffer.size() - 1,
                        reinterpret_cast<LPARAM>(shown_buffer.data()), &shown_length) &&
            shown_length > 0)
            shown = shown_buffer.data();
        Record("tooltip")
            .Add("hwnd", HandleText(tip))
            .Add("owner", HandleText(GetWindow(tip, GW_OWNER)))
            .Add("visible", IsWindowVisible(tip) ? 1L : 0L)
            .Add("style", Hex(GetWindowLongA(tip, GWL_STYLE)))
            .Add("rect", RectText(ScreenRect(tip)))
            .Add("tools", static_cast<long>(tools))
            .Add("maxwidth", static_cast<long>(facts.max_width))
            .Add("initial", static_cast<long>(facts.initial))
            .Add("textcolor", Hex(facts.text_color))
            .Add("bkcolor", Hex(facts.bk_color))
            .Add("titlesource", title_source)
            .Text("title", title)
            .Text("shown", shown)
            .Print();

        for (int t = 0; t < tools; ++t) {
            TTTOOLINFOW info = {};
            info.cbSize = sizeof info;
            info.lpszText = reinterpret_cast<LPWSTR>(block.at(text_offset));
            LRESULT ok = 0;
            if (!block.Write(sizeof(TTGETTITLE), &info, sizeof info) ||
                !block.Write(text_offset, &zero, sizeof zero) ||
                !SendBounded(tip, TTM_ENUMTOOLSW, t, block.param(sizeof(TTGETTITLE)), &ok) || !ok ||
                !block.Read(sizeof(TTGETTITLE), &info, sizeof info))
                return Fail(kExitFailed, "TTM_ENUMTOOLSW failed for tool " + std::to_string(t));
            // A callback or resource text leaves the pointer changed; only a
            // copied text is read back.
            bool copied = reinterpret_cast<char*>(info.lpszText) == block.at(text_offset);
            std::string text =
                copied ? NarrowText(block.ReadWideText(text_offset, text_chars)) : std::string();
            Record("tool")
                .Add("index", static_cast<long>(t))
                .Add("flags", Hex(info.uFlags))
                .Add("hwnd", HandleText(info.hwnd))
                .Add("id", Hex(static_cast<unsigned long>(info.uId)))
                .Add("rect", RectText(info.rect))
                .Add("textkind", copied ? "text" : "other")
                .Text("text", text)
                .Print();
        }
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Commands: the clipboard

// Another process (Wine's clipboard manager included) may hold the clipboard
// open for a moment, so opening is retried for a bounded time.
bool OpenClipboardBounded() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(nullptr))
            return true;
        Sleep(10);
    }
    return false;
}

// present: false when the clipboard holds no CF_TEXT at all.
bool ReadClipboardText(bool* present, std::string* text) {
    *present = false;
    text->clear();
    if (!OpenClipboardBounded())
        return false;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != nullptr) {
        const char* bytes = static_cast<const char*>(GlobalLock(data));
        if (bytes != nullptr) {
            SIZE_T size = GlobalSize(data);
            SIZE_T length = 0;
            while (length < size && bytes[length] != '\0')
                ++length;
            text->assign(bytes, length);
            *present = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return true;
}

void PrintClipboard(bool present, const std::string& text) {
    Record("clipboard")
        .Add("present", present ? 1L : 0L)
        .Add("length", static_cast<long>(text.size()))
        .Add("sequence", static_cast<long>(GetClipboardSequenceNumber()))
        .Text("text", text)
        .Print();
}

int CommandClipGet() {
    bool present = false;
    std::string text;
    if (!ReadClipboardText(&present, &text))
        return Fail(kExitFailed, "OpenClipboard failed");
    PrintClipboard(present, text);
    return kExitOk;
}

int CommandClipSet(const Args& args) {
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: clip-set TEXT");
    const std::string& text = args.positional[0];
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory == nullptr)
        return Fail(kExitFailed, "GlobalAlloc failed");
    char* bytes = static_cast<char*>(GlobalLock(memory));
    memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
    GlobalUnlock(memory);
    if (!OpenClipboardBounded()) {
        GlobalFree(memory);
        return Fail(kExitFailed, "OpenClipboard failed");
    }
    EmptyClipboard();
    bool ok = SetClipboardData(CF_TEXT, memory) != nullptr;
    CloseClipboard();
    if (!ok) {
        GlobalFree(memory);
        return Fail(kExitFailed, "SetClipboardData failed");
    }
    return kExitOk;
}

int CommandClipWait(const Args& args) {
    if (args.positional.size() != 2)
        return Fail(kExitUsage, "usage: clip-wait TEXT TIMEOUT_MS");
    const std::string& expected = args.positional[0];
    DWORD timeout = strtoul(args.positional[1].c_str(), nullptr, 10);
    DWORD start = GetTickCount();
    bool present = false;
    std::string text;
    for (;;) {
        bool read = ReadClipboardText(&present, &text);
        if (read && present && text == expected) {
            PrintClipboard(present, text);
            return kExitOk;
        }
        if (GetTickCount() - start >= timeout)
            break;
        Sleep(15);
    }
    PrintClipboard(present, text);
    return Fail(kExitNotFound, "the clipboard holds \"" + EscapeText(text) + "\", not \"" +
                                   EscapeText(expected) + "\"");
}

// ---------------------------------------------------------------------------
// Commands: raw messages, as another instance of the program would send them

// A message argument: "pid" is this process's id, "addr" the address of the
// --text in this process's memory, "len" the length of that area; anything
// else a number (decimal, or hexadecimal with 0x; a negative one is widened
// with its sign, as the i686 build's LPARAM would be).
bool MessageValue(const std::string& word, const std::string& text, DWORD_PTR* value) {
    if (word == "pid") {
        *value = GetCurrentProcessId();
    } else if (word == "addr") {
        *value = reinterpret_cast<DWORD_PTR>(text.c_str());
    } else if (word == "len") {
        *value = text.size();
    } else {
        char* end = nullptr;
        *value = static_cast<DWORD_PTR>(strtoll(word.c_str(), &end, 0));
        if (word.empty() || *end != '\0')
            return false;
    }
    return true;
}

// Sends the messages in order to the window, each waiting at most --timeout
// ms for its answer, and reports each answer. The --text stays in this
// process's memory until the last answer, so the window may read it; --size
// makes the readable area longer than the text, with zero bytes after it.
int CommandSend(Args& args) {
    TakeTitle(&args);
    std::string area = args.text;
    if (area.size() < args.size)
        area.resize(args.size, '\0');
    if (args.positional.empty() || args.positional.size() % 3 != 0)
        return Fail(kExitUsage, "usage: send [--timeout MS] [--text TEXT] [--size N] TITLE "
                                "(MESSAGE WPARAM LPARAM)...");
    HWND hwnd = RequireWindow(args);
    if (hwnd == nullptr)
        return kExitNotFound;
    for (size_t i = 0; i < args.positional.size(); i += 3) {
        DWORD_PTR message = 0, wparam = 0, lparam = 0;
        if (!MessageValue(args.positional[i], area, &message) ||
            !MessageValue(args.positional[i + 1], area, &wparam) ||
            !MessageValue(args.positional[i + 2], area, &lparam))
            return Fail(kExitUsage, "bad message value in \"" + args.positional[i] + " " +
                                        args.positional[i + 1] + " " + args.positional[i + 2] +
                                        "\"");
        DWORD_PTR answer = 0;
        bool answered = SendMessageTimeoutA(hwnd, static_cast<UINT>(message), wparam, lparam,
                                            SMTO_NORMAL, args.timeout_ms, &answer) != 0;
        Record("answer")
            .Add("index", static_cast<long>(i / 3))
            .Add("message", static_cast<long>(message))
            .Add("answered", answered ? 1L : 0L)
            .Add("result", static_cast<long>(answer))
            .Print();
        fflush(stdout);
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Commands: a file's version resource, as Explorer reads it

std::string VersionText(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

// Reports the numeric versions, each translation, and every string of the
// usual names under each translation that the file has.
int CommandVersion(const Args& args) {
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: version FILE");
    const char* file = args.positional[0].c_str();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0)
        return Fail(kExitNotFound, "no version resource in \"" + EscapeText(file) + "\"");
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data()))
        return Fail(kExitFailed, "GetFileVersionInfoA failed");

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return Fail(kExitFailed, "no VS_FIXEDFILEINFO");
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    Record("fixed")
        .Add("signature", Hex(fixed->dwSignature))
        .Add("file", VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS))
        .Add("product", VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS))
        .Add("flags", Hex(fixed->dwFileFlags & fixed->dwFileFlagsMask))
        .Add("os", Hex(fixed->dwFileOS))
        .Add("type", Hex(fixed->dwFileType))
        .Print();

    static const char* const kNames[] = {"Comments",        "CompanyName",      "FileDescription",
                                         "FileVersion",     "InternalName",     "LegalCopyright",
                                         "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                                         "ProductName",     "ProductVersion",   "SpecialBuild"};
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length))
        length = 0;
    const auto* pairs = static_cast<const WORD*>(value);
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
        char block[16];
        snprintf(block, sizeof block, "%04x%04x", pairs[i], pairs[i + 1]);
        Record("translation")
            .Add("language", static_cast<long>(pairs[i]))
            .Add("codepage", static_cast<long>(pairs[i + 1]))
            .Print();
        for (const char* name : kNames) {
            std::string path = std::string("\\StringFileInfo\\") + block + "\\" + name;
            void* text = nullptr;
            UINT chars = 0;
            if (!VerQueryValueA(data.data(), path.c_str(), &text, &chars) || text == nullptr)
                continue;
            Record("string")
                .Add("block", block)
                .Add("name", name)
                .Text("text", std::string(static_cast<const char*>(text)))
                .Print();
        }
    }
    return kExitOk;
}

// Reports the program's manifest (resource 1 of type 24) as its text. The
// file is mapped as plain data, so a program of the other build reads too.
int CommandManifest(const Args& args) {
    if (args.positional.size() != 1)
        return Fail(kExitUsage, "usage: manifest FILE");
    HMODULE module = LoadLibraryExA(args.positional[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return Fail(kExitNotFound, "cannot load \"" + EscapeText(args.positional[0]) + "\"");
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    int code = kExitNotFound;
    if (bytes != nullptr) {
        Record("manifest")
            .Text("text",
                  std::string(static_cast<const char*>(bytes), SizeofResource(module, found)))
            .Print();
        code = kExitOk;
    }
    FreeLibrary(module);
    return code == kExitOk
               ? code
               : Fail(code, "no manifest in \"" + EscapeText(args.positional[0]) + "\"");
}

// ---------------------------------------------------------------------------
// Commands: code page and the modules of a process

// The ANSI code page of this helper, which carries the program's manifest
// and so runs with the program's code page.
int CommandCodePage() {
    Record("codepage").Add("acp", static_cast<long>(GetACP())).Print();
    return kExitOk;
}

// Each module of a process whose file name contains TEXT (letter case
// ignored): its path and the file version of that file.
int CommandModules(const Args& args) {
    if (args.query.pid == 0 || args.positional.size() != 1)
        return Fail(kExitUsage, "usage: modules --pid N TEXT");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, args.query.pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return Fail(kExitFailed, "CreateToolhelp32Snapshot failed");
    std::string wanted = args.positional[0];
    CharLowerA(&wanted[0]);
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more;
         more = Module32Next(snapshot, &module)) {
        std::string path = module.szExePath;
        std::string lower = path;
        CharLowerA(&lower[0]);
        if (lower.find(wanted) == std::string::npos)
            continue;
        std::string version;
        DWORD ignored = 0;
        std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
        void* value = nullptr;
        UINT length = 0;
        if (!data.empty() && GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data()) &&
            VerQueryValueA(data.data(), "\\", &value, &length) &&
            length >= sizeof(VS_FIXEDFILEINFO)) {
            const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
            version = VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        }
        Record("module").Text("path", path).Add("version", version).Print();
    }
    CloseHandle(snapshot);
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Commands: files

// Holds the files open as another program would, for reading and sharing only
// reading: while held they can be read, but not renamed, deleted or written.
// A "ready" record says that every file is open.
int CommandHold(const Args& args) {
    if (args.positional.size() < 2)
        return Fail(kExitUsage, "usage: hold [--write] FILE... DURATION_MS");
    DWORD duration = strtoul(args.positional.back().c_str(), nullptr, 10);
    std::vector<HANDLE> held;
    for (size_t i = 0; i + 1 < args.positional.size(); ++i) {
        DWORD access = GENERIC_READ | (args.write ? GENERIC_WRITE : 0);
        HANDLE file = CreateFileA(args.positional[i].c_str(), access, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return Fail(kExitFailed, "cannot open \"" + EscapeText(args.positional[i]) + "\"");
        held.push_back(file);
    }
    Record("ready").Add("held", static_cast<long>(held.size())).Print();
    fflush(stdout);
    Sleep(duration);
    for (HANDLE file : held)
        CloseHandle(file);
    return kExitOk;
}

int Usage() {
    fputs("usage: sumvane_inspect COMMAND [--pid N] [--class NAME] [--visible] ARGS\n"
          "  windows [TITLE]                   top-level windows\n"
          "  window TITLE                      one top-level window\n"
          "  controls TITLE                    a window and its child controls\n"
          "  rows TITLE CONTROL_ID             columns and rows of a list view\n"
          "  tooltips (TITLE | --pid N)        tooltips of a process and their tools\n"
          "  wait-window TITLE TIMEOUT_MS      wait until the window exists\n"
          "  wait-gone TITLE TIMEOUT_MS        wait until the window is gone\n"
          "  watch [TITLE] DURATION_MS         report windows that appear\n"
          "  close TITLE                       post WM_CLOSE\n"
          "  terminate --pid N [EXIT_CODE]     end a process\n"
          "  handles --pid N                   count the handles a process holds\n"
          "  clip-get                          the CF_TEXT bytes\n"
          "  clip-set TEXT                     put TEXT on the clipboard\n"
          "  clip-wait TEXT TIMEOUT_MS         wait until CF_TEXT is exactly TEXT\n"
          "  send [--timeout MS] [--text TEXT] [--size N] TITLE (MESSAGE WPARAM LPARAM)...\n"
          "                                    send messages, report the answers\n"
          "  count-watch TITLE CONTROL_ID DURATION_MS [ROWS]\n"
          "                                    a list's row count every 10 ms, each change; "
          "ends at\n"
          "                                    ROWS rows or more (0: none)\n"
          "  time-row TITLE CONTROL_ID ROW TIMEOUT_MS\n"
          "                                    time a row from its first percentage to its "
          "checksum\n"
          "  version FILE                      a file's version resource\n"
          "  hold [--write] FILE... DURATION_MS\n"
          "                                    hold files open (--write: for writing too), "
          "sharing only reading\n"
          "  manifest FILE                     a program's manifest\n"
          "  codepage                          this helper's ANSI code page\n"
          "  modules --pid N TEXT              a process's modules named like TEXT\n",
          stderr);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2)
        return Usage();
    std::string command = argv[1];
    Args args;
    if (!ParseArgs(argc, argv, 2, &args))
        return Usage();

    int code = kExitUsage;
    if (command == "windows")
        code = CommandWindows(args);
    else if (command == "window")
        code = CommandWindow(args);
    else if (command == "controls")
        code = CommandControls(args);
    else if (command == "rows")
        code = CommandRows(args);
    else if (command == "tooltips")
        code = CommandTooltips(args);
    else if (command == "wait-window")
        code = CommandWait(args, false);
    else if (command == "wait-gone")
        code = CommandWait(args, true);
    else if (command == "watch")
        code = CommandWatch(args);
    else if (command == "close")
        code = CommandClose(args);
    else if (command == "terminate")
        code = CommandTerminate(args);
    else if (command == "clip-get")
        code = CommandClipGet();
    else if (command == "clip-set")
        code = CommandClipSet(args);
    else if (command == "clip-wait")
        code = CommandClipWait(args);
    else if (command == "send")
        code = CommandSend(args);
    else if (command == "handles")
        code = CommandHandles(args);
    else if (command == "count-watch")
        code = CommandCountWatch(args);
    else if (command == "time-row")
        code = CommandTimeRow(args);
    else if (command == "version")
        code = CommandVersion(args);
    else if (command == "hold")
        code = CommandHold(args);
    else if (command == "manifest")
        code = CommandManifest(args);
    else if (command == "codepage")
        code = CommandCodePage();
    else if (command == "modules")
        code = CommandModules(args);
    else
        return Usage();
    fflush(stdout);
    return code;
}
