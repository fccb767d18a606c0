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
// lock around the two messages of a path, so every 1026 is read from the
// process of its own 1025. Every message waits at most 10 s for its answer; a
// running instance that has stopped taking messages cannot hold a starting
// one, which then keeps its path.
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
constexpr uint32_t kLongestHandedPath = 32767;

// Sends message 1025 to window, which becomes the PeerWindow; the answer, 0
// when there was none in time.
uintptr_t SendProcessId(HWND window);

// Sends message 1026 for path to the PeerWindow; the answer, 0 when there was
// none in time. The text lies below 2 GiB, so that a running instance of
// either build can read it, and stays readable until this process ends, so
// that even a reader that answers late never reads freed memory.
uintptr_t SendPathText(const std::string& path);

// Finds a running instance and hands path to it under the system-wide lock.
// Returns whether it was handed over.
bool HandOverPath(const std::string& path);

// The running instance's side: the message callback of the main window.
uint32_t HandOffCallback(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
