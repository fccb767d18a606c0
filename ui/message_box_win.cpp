#include "ui/message_box_win.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct BlockedWindow {
    DWORD thread;
    HWND window;
};

// Shared by all threads; each thread only ever releases its own records.
std::mutex g_blockedLock;
std::vector<BlockedWindow> g_blocked;

BOOL CALLBACK BlockIfOurs(HWND window, LPARAM) {
    DWORD thread = GetCurrentThreadId();
    if (GetWindowThreadProcessId(window, nullptr) == thread && IsWindowVisible(window) &&
        IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        std::lock_guard<std::mutex> guard(g_blockedLock);
        g_blocked.push_back({thread, window});
    }
    return TRUE;
}

} // namespace

void BlockThreadWindows() {
    EnumWindows(BlockIfOurs, 0);
}

void UnblockThreadWindows() {
    DWORD thread = GetCurrentThreadId();
    std::vector<HWND> ours;
    {
        std::lock_guard<std::mutex> guard(g_blockedLock);
        for (const BlockedWindow& b : g_blocked)
            if (b.thread == thread)
                ours.push_back(b.window);
        g_blocked.erase(
            std::remove_if(g_blocked.begin(), g_blocked.end(),
                           [thread](const BlockedWindow& b) { return b.thread == thread; }),
            g_blocked.end());
    }
    for (HWND window : ours)
        EnableWindow(window, TRUE);
}

HWND FindDialogOwner() {
    HWND foreground = GetForegroundWindow();
    if (foreground == nullptr)
        return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

ModalScope::ModalScope() {
    HWND before = FindDialogOwner();
    bool disabledBefore = before != nullptr && !IsWindowEnabled(before);
    BlockThreadWindows();
    owner_ = FindDialogOwner();
    ownerWasDisabled_ = owner_ != nullptr && owner_ == before && disabledBefore;
}

ModalScope::~ModalScope() {
    if (ownerWasDisabled_ && IsWindowEnabled(owner_))
        EnableWindow(owner_, FALSE);
    UnblockThreadWindows();
}

int32_t ShowMessageBox(const std::string& title, const std::string& text, uint32_t flags) {
    ModalScope modal;
    return MessageBoxA(modal.owner(), text.c_str(), title.c_str(), flags);
}
