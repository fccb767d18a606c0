// Handing command-line paths to an instance that is already running.
//
// A starting instance finds the running one by its window title and sends
// each path in two messages: 1025 tells the running instance which process
// calls (lParam = the process id), 1026 where the path text lies in the
// caller's memory (wParam) and how long it is (lParam). The running instance
// reads the text straight out of the caller's memory and lists the file when
// it has at least one byte. A path counts as handed over only when both
// messages were answered with a value other than 0.
//
// Several instances may start at the same moment: each holds a system-wide
// lock from its first path to its last, so every 1026 is read from the
// process of its own 1025, and one start's paths stay together in the list.
// Every message waits at most 10 s for its answer; a running instance that
// has stopped taking messages cannot hold a starting one, which then keeps
// its path.
//
// The running instance keeps the handle of its last caller's process for
// that caller's next 1025, and starts the checksum worker once a burst of
// hand-offs has paused, not for every path: a start with hundreds of paths
// then costs it little more than the messages themselves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The running instance's window that the current path goes to.
extern HWND PeerWindow;

// The process of the most recent 1025, until its 1026 has been answered or
// the next 1025 replaces it.
extern HANDLE PeerProcess;

// The longest path text a 1026 may announce; a longer one is refused unread.
// It holds any path the system allows (32767 UTF-16 units) in any code page:
// up to three bytes a unit in UTF-8, two in the double-byte ones.
constexpr uint32_t kLongestHandedPath = 3 * 32767;

// Sends message 1025 to window, which becomes the PeerWindow; the answer, 0
// when there was none in time.
uintptr_t SendProcessId(HWND window);

// Sends message 1026 for path to the PeerWindow; the answer, 0 when there was
// none in time. The text lies below 2 GiB, so that a running instance of
// either build can read it, and stays readable until this process ends, so
// that even a reader that answers late never reads freed memory.
uintptr_t SendPathText(const std::string& path);

// One start's hand-offs, under the system-wide lock, which the first path
// takes and the end of the session gives back.
class HandOffSession {
  public:
    HandOffSession();
    ~HandOffSession();
    HandOffSession(const HandOffSession&) = delete;
    HandOffSession& operator=(const HandOffSession&) = delete;

    // Finds a running instance and hands path to it. Returns whether it was
    // handed over.
    bool HandOver(const std::string& path);

  private:
    HANDLE lock_ = nullptr;
    bool held_ = false;
    HWND window_ = nullptr; // the running instance's window that took the last path
};

// A session of one path.
bool HandOverPath(const std::string& path);

// The running instance's side: the message callback of the main window.
uint32_t HandOffCallback(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
