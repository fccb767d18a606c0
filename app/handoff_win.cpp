#include "app/handoff_win.h"

#include "app/main_window_win.h"
#include "checksum/checksum_worker_win.h"
#include "checksum/chunked_source_win.h"
#include "checksum/file_entry_win.h"
#include "runtime/files_win.h"
#include "runtime/text.h"
#include "ui/events_win.h"
#include "ui/message_box_win.h"

#include <cstring>

HWND PeerWindow = nullptr;
HANDLE PeerProcess = nullptr;

namespace {

constexpr UINT kProcessIdMessage = WM_USER + 1; // 1025
constexpr UINT kPathTextMessage = WM_USER + 2;  // 1026
constexpr UINT kAnswerTimeoutMs = 10000;
constexpr DWORD kLockTimeoutMs = 30000;

const char kHandOffLock[] = "Sumvane.HandOff";

// Texts sent with 1026, kept for the rest of the run: a running instance that
// answered too late for us may still read them. They lie below 2 GiB, since
// their address travels in wParam, which a running instance of the 32-bit
// build sees cut to 32 bits; below 2 GiB it also means the same whether a
// receiver takes it as signed or not. A 64-bit program's heap may lie
// anywhere (on Windows, mostly above 4 GiB), so the texts are copied into
// blocks of their own from the low part of the address space.
class LowTexts {
  public:
    // A copy of text with its terminating zero, below 2 GiB; nullptr when no
    // room is left there.
    const char* Keep(const std::string& text) {
        size_t size = text.size() + 1;
        if (size > left_ && !NewBlock(size))
            return nullptr;
        char* copy = next_;
        memcpy(copy, text.c_str(), size);
        next_ += size;
        left_ -= size;
        return copy;
    }

  private:
    static constexpr uintptr_t kLimit = 0x80000000u;
    static constexpr size_t kBlockSize = 64 * 1024; // the allocation granularity

    bool NewBlock(size_t least) {
        size_t size = (least + kBlockSize - 1) / kBlockSize * kBlockSize;
        uintptr_t at = kBlockSize;
        MEMORY_BASIC_INFORMATION region;
        while (at < kLimit && VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region)) {
            uintptr_t start = reinterpret_cast<uintptr_t>(region.BaseAddress);
            uintptr_t end = start + region.RegionSize;
            uintptr_t base = (start + kBlockSize - 1) / kBlockSize * kBlockSize;
            if (region.State == MEM_FREE && base < end && end - base >= size &&
                base + size <= kLimit) {
                void* block = VirtualAlloc(reinterpret_cast<void*>(base), size,
                                           MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
                if (block != nullptr) {
                    next_ = static_cast<char*>(block);
                    left_ = size;
                    return true;
                }
            }
            if (end <= at)
                break;
            at = end;
        }
        return false;
    }

    char* next_ = nullptr;
    size_t left_ = 0;
};

LowTexts& SentTexts() {
    static auto* texts = new LowTexts();
    return *texts;
}

uintptr_t SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                             kAnswerTimeoutMs, &answer))
        return 0;
    return answer;
}

// The last caller's process, kept for its next 1025 while PeerProcess is
// cleared after each 1026. A process id is not given to another process while
// a handle to it is open, so the same id names the same caller.
DWORD g_callerId = 0;
HANDLE g_callerProcess = nullptr;

// The checksum worker starts once the hand-offs have paused for kBurstQuietMs:
// a start with hundreds of paths would otherwise start it for each path while
// it is idle, and that cost the sender many milliseconds a path.
constexpr UINT_PTR kBurstTimer = 0x5359;
constexpr DWORD kBurstQuietMs = 40;
bool g_burstTimer = false;
DWORD g_lastAdd = 0;

void CALLBACK BurstPaused(HWND window, UINT, UINT_PTR id, DWORD) {
    DWORD since = GetTickCount() - g_lastAdd;
    if (since < kBurstQuietMs && SetTimer(window, id, kBurstQuietMs - since, BurstPaused) != 0)
        return;
    KillTimer(window, id);
    g_burstTimer = false;
    ChunkedFileSource::HoldReading.store(false);
    ChecksumScheduler();
}

// While a burst lasts, the reading of a large file is held, so that a busy
// worker leaves the cores to the hand-off.
void StartAfterBurst(HWND window) {
    g_lastAdd = GetTickCount();
    if (g_burstTimer)
        return;
    g_burstTimer = SetTimer(window, kBurstTimer, kBurstQuietMs, BurstPaused) != 0;
    ChunkedFileSource::HoldReading.store(g_burstTimer);
    if (!g_burstTimer)
        ChecksumScheduler();
}

// Set while the box of a failed read is open: its modal loop serves sent
// messages, and another process could otherwise open box within box.
bool g_readErrorShown = false;

uint32_t ReceivePathText(HWND window, WPARAM address, LPARAM announced) {
    auto length = static_cast<uint32_t>(announced);
    uint32_t answer = 0;
    if (g_readErrorShown) {
        answer = 0; // one box at a time
    } else if (length == 0) {
        answer = 1; // the empty text names no file
    } else if (length <= kLongestHandedPath) {
        std::string buffer = MakeSpaces(static_cast<int32_t>(length));
        SIZE_T read = 0;
        BOOL ok = ReadProcessMemory(PeerProcess, reinterpret_cast<const void*>(address),
                                    buffer.data(), length, &read);
        DWORD error = GetLastError();
        if (!ok) {
            PeerProcess = nullptr;
            g_readErrorShown = true;
            ShowMessageBox("", FormatInteger(static_cast<int32_t>(error)), MB_OK);
            g_readErrorShown = false;
        } else if (read == length) {
            std::string path = ReadBufferText(buffer.data(), buffer.size());
            if (QueryFileSize(path) >= 1) {
                AddWaitingEntry(path);
                StartAfterBurst(window);
            }
            answer = 1;
        }
    }
    PeerProcess = nullptr; // the next 1026 needs a 1025 first
    return answer;
}

} // namespace

uintptr_t SendProcessId(HWND window) {
    PeerWindow = window;
    return SendWithTimeout(window, kProcessIdMessage, 0,
                           static_cast<LPARAM>(GetCurrentProcessId()));
}

uintptr_t SendPathText(const std::string& path) {
    const char* text = SentTexts().Keep(path);
    if (text == nullptr)
        return 0;
    return SendWithTimeout(PeerWindow, kPathTextMessage, reinterpret_cast<WPARAM>(text),
                           static_cast<LPARAM>(path.size()));
}

HandOffSession::HandOffSession() = default;

HandOffSession::~HandOffSession() {
    if (held_)
        ReleaseMutex(lock_);
    if (lock_ != nullptr)
        CloseHandle(lock_);
}

bool HandOffSession::HandOver(const std::string& path) {
    if (!held_) {
        if (lock_ == nullptr)
            lock_ = CreateMutexA(nullptr, FALSE, kHandOffLock);
        if (lock_ == nullptr)
            return false;
        // An abandoned lock (its holder ended) is ours all the same.
        DWORD waited = WaitForSingleObject(lock_, kLockTimeoutMs);
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!held_)
            return false;
    }
    // The window that took the last path takes the next, while it answers;
    // when it does not (it is gone, or refused the caller), the window is
    // looked for again, since windows may come and go meanwhile. Looking
    // for it costs a round trip to the server per top-level window.
    if (window_ == nullptr || SendProcessId(window_) == 0) {
        window_ = FindWindowA(nullptr, kFinalTitle);
        if (window_ == nullptr || SendProcessId(window_) == 0)
            return false;
    }
    return SendPathText(path) != 0;
}

bool HandOverPath(const std::string& path) {
    HandOffSession session;
    return session.HandOver(path);
}

uint32_t HandOffCallback(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam) {
    if (message == kProcessIdMessage) {
        auto id = static_cast<DWORD>(lParam);
        if (g_callerProcess == nullptr || g_callerId != id) {
            if (g_callerProcess != nullptr)
                CloseHandle(g_callerProcess);
            g_callerProcess = OpenProcess(PROCESS_VM_READ, FALSE, id);
            g_callerId = id;
        }
        PeerProcess = g_callerProcess;
        return PeerProcess != nullptr ? 1 : 0;
    }
    if (message == kPathTextMessage)
        return ReceivePathText(window, wParam, lParam);
    return PassOnMarker;
}
