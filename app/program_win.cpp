#include "app/program_win.h"

#include "app/handoff_win.h"
#include "app/main_window_win.h"
#include "checksum/checksum_worker_win.h"
#include "checksum/file_entry_win.h"
#include "runtime/code_page_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"
#include "runtime/params_win.h"
#include "runtime/timers_win.h"
#include "ui/controls_win.h"
#include "ui/events_win.h"
#include "ui/menu_win.h"
#include "ui/window_win.h"

#include <windows.h>

#include <shellapi.h>

int32_t HandedOver = 0;

namespace {

constexpr int32_t kScanTimer = 1;
constexpr uint32_t kScanPeriodMs = 500;

// Prepares the runtime and the layers. Texts and tables live in the C++
// runtime's own storage, so no heap of their own is made for them; the block
// heap for file data is.
void RuntimeStartup() {
    InitCodePage();
    InitProgramDirectory();
    InitFileTable();
    InitWindowLayer();
    InitControlLayer();
    CreateBlockHeap();
    InitMenuLayer();
    InitTimers();
}

[[noreturn]] void RuntimeShutdown() {
    StopAllTimers();
    DestroyBlockHeap();
    CloseAllWindows();
    CloseAllFiles();
    ExitProcess(0);
}

// Each command-line file goes to a running instance if there is one that takes
// it, and otherwise into this instance's own list. Returns how many files
// this instance kept.
int32_t TakeCommandLineFiles() {
    HandOffSession handOffs;
    int32_t kept = 0;
    for (;;) {
        std::string path = NextProgramParameter();
        if (path.empty())
            return kept;
        if (QueryFileSize(path) <= -1)
            continue;
        if (handOffs.HandOver(path)) {
            HandedOver = 1;
        } else {
            AddWaitingEntry(path);
            ++kept;
        }
    }
}

} // namespace

void RunProgram() {
    RuntimeStartup();
    HWND window = BuildMainWindow();

    // Messages already waiting, then a moment for the system to settle.
    while (PollEvent() != 0) {
    }
    PauseMilliseconds(250);

    int32_t kept = TakeCommandLineFiles();
    // An instance whose every file went to the running one ends without
    // showing itself; one that kept any (the running one refused it, or
    // did not answer in time) shows them, so that no file the user named
    // is dropped. Without a window there is nothing to show and no loop to
    // run.
    if ((HandedOver == 1 && kept == 0) || window == nullptr)
        Shutdown();

    SetWindowHidden(0, 0);
    SetWindowCaption(0, kFinalTitle);
    WorkerIdle.store(1);
    SetMessageCallback(HandOffCallback);
    DragAcceptFiles(window, TRUE);
    StartPeriodicTimer(kScanTimer, kScanPeriodMs, ChecksumScheduler);
    // The command line's files start now, not at the first tick. The window
    // is drawn first, so that it shows whole before the worker and its
    // helper take both cores, and its first painting, with every row of a
    // long command line, holds up none of the first files' writes.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ChecksumScheduler();
    RunEventLoop();
}

void Shutdown() {
    // The timer goes first, so that no new worker can start after the last
    // one was stopped.
    StopAllTimers();
    // A worker that would not stop may still use its file and block: the
    // process ends around it, without releasing them first.
    if (!StopWorker())
        ExitProcess(0);
    RuntimeShutdown();
}
