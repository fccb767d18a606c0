// What one tick of the checksum scheduler costs the window thread on a long
// list: 5,000 rows (or as many as the argument asks for), all but the last
// one finished. The tick runs on a thread of its own, as the timer runs it,
// while this thread, the window thread, serves its requests; a third thread
// meanwhile keeps sending the window an empty message and measures how long
// each waits for its answer. The first tick reads the list from its start;
// the later ones go on from where the one before ended, also after a new row
// was added.
//
//   scheduler_bench.exe [ROWS]
#include "checksum/checksum_worker_win.h"
#include "checksum/file_entry_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"
#include "runtime/params_win.h"
#include "ui/list_view_win.h"
#include "ui/ui_win_test_support.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

struct TickFigures {
    double tickMs;
    double longestAnswerMs;
    long answers;
};

// Serves this thread's messages until done is set.
void ServeUntil(const std::atomic<bool>& done) {
    while (!done.load()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

TickFigures TimeOneTick(HWND window) {
    std::atomic<bool> ticked{false}, probed{false};
    TickFigures figures = {0, 0, 0};
    std::thread prober([&] {
        while (!ticked.load()) {
            double start = Now();
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
            double ms = (Now() - start) * 1000.0;
            figures.longestAnswerMs = ms > figures.longestAnswerMs ? ms : figures.longestAnswerMs;
            ++figures.answers;
        }
        probed.store(true);
    });
    std::thread tick([&] {
        Sleep(20); // the prober is running by now
        double start = Now();
        ChecksumScheduler();
        figures.tickMs = (Now() - start) * 1000.0;
        ticked.store(true);
    });
    ServeUntil(ticked);
    ServeUntil(probed);
    tick.join();
    prober.join();
    return figures;
}

void WaitForTheWorker() {
    DWORD start = GetTickCount();
    while (WorkerIdle.load() != 1 && GetTickCount() - start < 10000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (rows < 1)
        rows = 1;
    InitProgramDirectory();
    InitFileTable();
    CreateBlockHeap();
    TestWindow window;
    CreateTestFileList();
    for (int i = 0; i + 1 < rows; ++i)
        AddListItem(FileList, -1,
                    "file.bin > Z:\\nowhere\\file.bin\n1A2B3C4D\nno CRC32 in filename");
    AddListItem(FileList, -1, "last.bin > Z:\\nowhere\\last.bin\n\nWaiting");
    WorkerIdle.store(1);

    std::printf("checksum scheduler, one tick on a list of %d rows, all but the last finished\n",
                rows);
    std::printf("  %-44s %10s %16s\n", "tick", "tick (ms)", "longest answer");
    const char* names[] = {"first tick: the whole list is read",
                           "next tick: nothing new (the worker is done)",
                           "a tick after one more row was added"};
    for (int t = 0; t < 3; ++t) {
        if (t == 2)
            AddListItem(FileList, -1, "one.bin > Z:\\nowhere\\one.bin\n\nWaiting");
        TickFigures f = TimeOneTick(window.handle());
        std::printf("  %-44s %10.2f %13.2f ms  (%ld answers)\n", names[t], f.tickMs,
                    f.longestAnswerMs, f.answers);
        WaitForTheWorker();
    }
    bool done = GetListItemText(FileList, rows - 1, 2) == "ReadError" &&
                GetListItemText(FileList, rows, 2) == "ReadError";
    std::printf("  the waiting rows were taken: %s\n", done ? "yes" : "NO");
    return done ? 0 : 1;
}
