// Times a whole list of the running program from another process, as a user
// sees it: until the list has COUNT rows and the last of them has its
// checksum (or "ReadError"). Rows finish in list order, so that is the end of
// the run.
//
//   list_timer.exe [--probe] [--every MS] TITLE COUNT TIMEOUT_MS
//
// Prints "ready" once it has found the list, then, when the run is over,
// "listed done=T rows=T": the Unix times (seconds, from the system clock that
// other programs on this machine read too) of the last verdict and of the
// moment it first saw COUNT rows, so that a caller can measure from a moment
// of its own (the end of a drop, the start of the program). A look at the
// row costs the window one message and comes every 2 ms, or every MS with
// --every (for runs of minutes, where 2 ms would load the window for
// nothing). With --probe, an
// empty message (WM_NULL) goes to the window every 10 ms, followed by a look,
// and each one's wait for its answer is printed as "probe at=T ms=M": often
// enough to catch any stall of the window, seldom enough not to slow it down.
// Exit code 0, or 1 when the list is not found or not finished in time.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kListId = 3;
constexpr size_t kCapacity = 64;

// An LVITEMA for one column of the list, with room for its text, in the
// list's own process.
class RemoteCell {
  public:
    RemoteCell(HANDLE process, int column) : process_(process) {
        base_ = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kCapacity,
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        LVITEMA item = {};
        item.iSubItem = column;
        item.cchTextMax = static_cast<int>(kCapacity);
        item.pszText = base_ + sizeof(LVITEMA);
        if (base_ != nullptr && !WriteProcessMemory(process, base_, &item, sizeof item, nullptr)) {
            VirtualFreeEx(process, base_, 0, MEM_RELEASE);
            base_ = nullptr;
        }
    }
    ~RemoteCell() {
        if (base_ != nullptr)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteCell(const RemoteCell&) = delete;
    RemoteCell& operator=(const RemoteCell&) = delete;
    bool ok() const { return base_ != nullptr; }
    LPARAM param() const { return reinterpret_cast<LPARAM>(base_); }
    std::string Text() const {
        char text[kCapacity + 1] = {};
        ReadProcessMemory(process_, base_ + sizeof(LVITEMA), text, kCapacity, nullptr);
        return text;
    }

  private:
    HANDLE process_;
    char* base_ = nullptr;
};

double UnixNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return double((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 1e7 - 11644473600.0;
}

} // namespace

int main(int argc, char** argv) {
    int next = 1;
    bool probe = argc > next && std::string(argv[next]) == "--probe";
    next += probe ? 1 : 0;
    DWORD every = 2;
    if (argc > next + 1 && std::string(argv[next]) == "--every") {
        every = strtoul(argv[next + 1], nullptr, 10);
        next += 2;
    }
    if (argc != next + 3) {
        fputs("usage: list_timer [--probe] [--every MS] TITLE COUNT TIMEOUT_MS\n", stderr);
        return 1;
    }
    const char* title = argv[next];
    long count = atol(argv[next + 1]);
    DWORD timeout = strtoul(argv[next + 2], nullptr, 10);
    DWORD start = GetTickCount();
    HWND window = nullptr;
    while ((window = FindWindowA(nullptr, title)) == nullptr && GetTickCount() - start < timeout)
        Sleep(2);
    HWND list = window != nullptr ? GetDlgItem(window, kListId) : nullptr;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
    if (list == nullptr || process == nullptr || count < 1) {
        fputs("list_timer: no list\n", stderr);
        return 1;
    }
    RemoteCell crcCell(process, 1), stateCell(process, 2);
    // The window may be busy for long stretches (taking a drop of thousands
    // of files, say): each message waits as long as the whole run may take.
    auto send = [&](HWND to, UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(to, message, wParam, lParam, SMTO_NORMAL, timeout, &answer))
            return LRESULT(-1);
        return static_cast<LRESULT>(answer);
    };
    LARGE_INTEGER frequency, sent, answered;
    QueryPerformanceFrequency(&frequency);
    printf("ready\n");
    fflush(stdout);
    timeBeginPeriod(1);
    double listedAt = 0;
    int result = 1;
    long looks = 0;
    while (crcCell.ok() && stateCell.ok() && GetTickCount() - start < timeout) {
        if (probe) {
            double at = UnixNow();
            QueryPerformanceCounter(&sent);
            LRESULT answer = send(window, WM_NULL, 0, 0);
            QueryPerformanceCounter(&answered);
            double ms = double(answered.QuadPart - sent.QuadPart) * 1000.0 / frequency.QuadPart;
            printf("probe\tat=%.6f\tms=%.3f\n", at, answer == -1 ? -1.0 : ms);
        }
        ++looks;
        if (listedAt == 0 && send(list, LVM_GETITEMCOUNT, 0, 0) >= count)
            listedAt = UnixNow();
        // The state is looked at only now and then, for "ReadError".
        if (listedAt != 0 &&
            (send(list, LVM_GETITEMTEXTA, count - 1, crcCell.param()) > 0 ||
             (looks % 8 == 0 && send(list, LVM_GETITEMTEXTA, count - 1, stateCell.param()) > 0 &&
              stateCell.Text() == "ReadError"))) {
            printf("listed\tdone=%.6f\trows=%.6f\n", UnixNow(), listedAt);
            result = 0;
            break;
        }
        Sleep(probe ? 10 : every);
    }
    timeEndPeriod(1);
    CloseHandle(process);
    if (result != 0)
        fputs("list_timer: the list did not finish in time\n", stderr);
    return result;
}
