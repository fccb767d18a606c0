#include "checksum/checksum_worker_win.h"

#include "checksum/checksum_loop.h"
#include "checksum/chunked_source_win.h"
#include "checksum/crc32.h"
#include "checksum/file_entry.h"
#include "checksum/file_entry_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"
#include "runtime/threads_win.h"
#include "ui/list_view_win.h"

#include <windows.h>

#include <utility>

std::atomic<int32_t> WorkerIdle{0};
std::atomic<uintptr_t> WorkerThreadHandle{0};
std::atomic<void (*)()> AfterWaitingRowFound{nullptr};

namespace {

constexpr int32_t kNameColumn = 0;
constexpr int32_t kCrcColumn = 1;
constexpr int32_t kStateColumn = 2;
constexpr const char* kWaiting = "Waiting";
constexpr int32_t kWorkerFile = 0;
constexpr DWORD kStopGraceMs = 250;

std::atomic<bool> g_stopRequested{false};

// A file for the worker: its row, the row's tag and the full path. The path
// is held in storage of its own size, so a path of any length reaches the
// worker whole (and simply fails to open when the system cannot take it).
struct WorkerJob {
    int32_t index;
    uint32_t tag;
    std::string path;
};

// The worker's first job, written by the scheduler only while WorkerIdle is 0
// and before the worker starts, and read only by that worker; the worker finds
// its later jobs itself.
std::string WorkerPathBuffer;
uint32_t WorkerEntryTag = 0;

// Writes the percentage into the entry's State column when it differs from
// what the column shows: about one write per percent, not one per block.
//
// What the column shows is kept here, so that no block costs a round trip to
// the window thread (which would cost more than reading the block). It starts
// as "Waiting": the worker takes only rows that the search found showing it,
// and nothing but this worker writes the State of its entry from then on.
// The writes are queued, not waited for: waiting on a window thread that is
// busy painting cost a large file a tenth to a half of its reading time, and
// the queued writes still come before the verdict's, in order.
class StateColumnProgress : public ProgressSink {
  public:
    StateColumnProgress(int32_t index, uint32_t tag) : index_(index), tag_(tag), shown_(kWaiting) {}
    void Progress(const std::string& percentText) override {
        if (percentText == shown_)
            return;
        QueueListItemTextIfTagged(FileList, index_, tag_, percentText, kStateColumn);
        shown_ = percentText;
    }

  private:
    int32_t index_;
    uint32_t tag_;
    std::string shown_;
};

void Finish(int32_t index, uint32_t tag, const std::string& path, const ChecksumOutcome& outcome) {
    if (!outcome.complete) {
        SetListItemTextIfTagged(FileList, index, tag, "ReadError", kStateColumn);
        return;
    }
    std::string crcText = CrcText(outcome.checksum);
    const char* verdict = ChecksumVerdict(path, crcText);
    // State first, then the checksum, in one request.
    SetListItemTextsIfTagged(FileList, index, tag,
                             {{kStateColumn, verdict}, {kCrcColumn, std::move(crcText)}});
}

// One file, from its opening to its verdict (none when the worker is being
// stopped).
void ChecksumEntry(int32_t index, uint32_t tag, const std::string& path) {
    ChecksumOutcome outcome = {false, 0, 0};
    uintptr_t file = OpenFileForReading(kWorkerFile, path);
    if (file != 0) {
        auto* block = static_cast<unsigned char*>(AllocateBlock(BlockSize));
        if (block != nullptr) {
            ChunkedFileSource source(file, path, &g_stopRequested);
            StateColumnProgress progress(index, tag);
            outcome = ChecksumBlocks(source, block, BlockSize, progress);
            FreeBlock(block);
        } // the source's helping thread has ended, or been let go, here
        CloseFileNumber(kWorkerFile);
    }
    if (!g_stopRequested.load())
        Finish(index, tag, path, outcome);
}

// Finds the next "Waiting" row and reads its path. False when no row waits.
//
// Rows before the scan's start are past "Waiting" for good, as long as the
// list is the one they belong to (the search checks that), so the rows of a
// list are read about once each, however long it grows and however many
// files the worker takes in turn. The scan's place is used only by whoever
// holds WorkerIdle at 0: the scheduler that took it, then the worker it
// started, until that worker sets it back to 1.
//
// The row's path is read in the same request as its state, so it always
// belongs to the row the search found; a "Clear" that comes after it leaves
// the worker with a row that is gone, and the tag checks of its writes show
// nothing of that file anywhere.
bool TakeWaitingEntry(WorkerJob* job) {
    static int32_t scanFrom = 0;
    static uint32_t scanFromTag = 0;
    std::string column;
    ListSearch waiting = FindListItemText(FileList, kStateColumn, kWaiting, scanFrom, scanFromTag,
                                          kNameColumn, &column);
    scanFrom = waiting.position;
    scanFromTag = waiting.tagBefore;
    if (!waiting.found)
        return false;
    if (void (*hook)() = AfterWaitingRowFound.load())
        hook();
    *job = {waiting.position, waiting.tag, FullPathOfColumnText(column)};
    return true;
}

} // namespace

void ChecksumScheduler() {
    // Taking WorkerIdle from 1 to 0 in one step makes this call the only one
    // that may start a worker: the timer's and the window thread's calls can
    // meet here, and whichever comes second finds 0 and leaves.
    int32_t idle = 1;
    if (g_stopRequested.load() || !WorkerIdle.compare_exchange_strong(idle, 0))
        return;
    WorkerJob job;
    if (!TakeWaitingEntry(&job)) {
        WorkerIdle.store(1);
        return;
    }
    WorkerPathBuffer = job.path;
    WorkerEntryTag = job.tag;
    uintptr_t thread = StartThread(ChecksumWorker, static_cast<uint32_t>(job.index));
    // Only the newest worker can still be running (the one before it set
    // WorkerIdle as its last act), so only its handle is kept, for the
    // shutdown; the one it replaces is given up.
    ReleaseThreadHandle(WorkerThreadHandle.exchange(thread));
    if (thread == 0)
        WorkerIdle.store(1); // no worker: the row still waits, for a later call
}

uint32_t ChecksumWorker(uint32_t value) {
    WorkerJob job = {static_cast<int32_t>(value), WorkerEntryTag, WorkerPathBuffer};
    do
        ChecksumEntry(job.index, job.tag, job.path);
    while (!g_stopRequested.load() && TakeWaitingEntry(&job));
    WorkerIdle.store(1);
    return 0;
}

bool StopWorker() {
    auto thread = reinterpret_cast<HANDLE>(WorkerThreadHandle.load());
    if (thread == nullptr)
        return true;
    g_stopRequested.store(true);
    DWORD start = GetTickCount();
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT &&
           GetTickCount() - start < kStopGraceMs) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        MsgWaitForMultipleObjects(1, &thread, FALSE, 5, QS_SENDMESSAGE);
    }
    return WaitForSingleObject(thread, 0) != WAIT_TIMEOUT;
}
