// Shared pieces of the window layer's tests: a test window of its own, bounded
// waits for events, real X input through xdotool, real drop handles and a
// scratch folder.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Opens window 0 as the program does (hidden, centred, 480x240, "initialize")
// with the three layers prepared; closes everything again on destruction.
class TestWindow {
  public:
    explicit TestWindow(uint32_t flags = 0x10CA0001, const std::string& title = "initialize");
    ~TestWindow();
    HWND handle() const { return window_; }
    // Shows the window and brings it to the front, ready for real input.
    void ShowInFront();

  private:
    HWND window_;
};

struct Event {
    uint32_t code;
    int32_t control;
    int32_t type;
    WPARAM wParam;
};

// Retrieves events with WaitForEvent until one satisfies want or the time is
// up; a timer keeps the wait from blocking for ever. Returns whether one came;
// the last event retrieved is left in *last.
bool WaitForEventWhere(const std::function<bool(const Event&)>& want, int timeoutMs,
                       Event* last = nullptr);

// Handles every waiting message.
void DrainEvents();

// Runs a Linux program (argv[0] an absolute Linux path) and waits until it has
// ended, at most 10 s; returns whether it ended with exit code 0.
bool RunUnix(const std::vector<std::string>& argv);

// Runs xdotool with whitespace-separated arguments, e.g. "key Return".
bool Xdotool(const std::string& arguments);

// Types text with xdotool, exactly as given.
bool XdotoolType(const std::string& text);

// Moves the real pointer to client coordinates of window.
void MovePointerTo(HWND window, int x, int y);

// Starts fn on a thread of its own after delayMs; join() the result.
std::thread Later(int delayMs, std::function<void()> fn);

// A real drop handle naming paths, as the shell hands it to a window.
HDROP MakeDropHandle(const std::vector<std::string>& paths);

// A new empty folder under Linux's /tmp, which Wine shows as Z:\tmp, so that
// Linux tools (truncate, test, rm) reach it too; removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }         // Z:\tmp\...
    const std::string& unixPath() const { return unixPath_; } // /tmp/...
    // path() + "\" + name.
    std::string In(const std::string& name) const;
    // A file of size 'x' bytes, or of the given bytes; returns its path.
    std::string Make(const std::string& name, size_t size);
    std::string Make(const std::string& name, const std::string& bytes);
    // A file of size zero bytes that takes no room on disk.
    std::string MakeSparse(const std::string& name, int64_t size);

  private:
    std::string unixPath_;
    std::string path_;
};

// Creates the file list (control 3) in the window given to SetControlParent,
// with its three columns, as the program does.
HWND CreateTestFileList();

// Finds a visible top-level window of this process by class and title (either
// may be empty to match any) within timeoutMs.
HWND WaitForTopLevel(const std::string& className, const std::string& title, int timeoutMs);

// The texts of a dialog's children, in order (a message box's text among them).
std::vector<std::string> ChildTexts(HWND dialog);

// While it lives, closes every message box with the given title as a user
// would (the pointer on the box, then Return), and keeps each box's text.
class BoxCloser {
  public:
    explicit BoxCloser(const std::string& title);
    ~BoxCloser();
    BoxCloser(const BoxCloser&) = delete;
    BoxCloser& operator=(const BoxCloser&) = delete;
    // The message texts of the boxes closed so far, in order.
    std::vector<std::string> boxes();

  private:
    void Run();
    std::string title_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::string> boxes_;
    std::thread thread_;
};
