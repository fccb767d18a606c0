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

#include <deque>
#include <utility>

// 0 until the program's start-up sets it to 1 (after its window exists), so
// that no worker starts before there is a list to read.
std::atomic<int32_t> WorkerIdle{0};
std::atomic<uintptr_t> WorkerThreadHandle{0};
std::atomic<void (*)()> AfterWaitingRowFound{nullptr};
std::atomic<void (*)()> BeforeWorkerOpens{nullptr};
std::atomic<void (*)(int32_t idle)> AroundWorkerIdling{nullptr};
std::atomic<uintptr_t (*)(ThreadProcedure, uint32_t)> StartWorkerThread{StartThread};

static_assert(BlockSize == ChunkedFileSource::kBlockBytes, "the worker's blocks are the chunks'");

namespace {

constexpr int32_t kNameColumn = 0;
constexpr int32_t kCrcColumn = 1;
constexpr int32_t kStateColumn = 2;
constexpr const char* kWaiting = "Waiting";
constexpr int32_t kWorkerFile = 0;
constexpr DWORD kStopGraceMs = 250;
// The rows one search takes at most: one request to the window thread for
// this many small files (or this many bytes of paths).
constexpr int32_t kBatchRows = 256;
constexpr size_t kBatchBytes = 65536;
// How far the worker may run ahead of the window: when more writes than this
// wait after a file, the worker has the window make a slice of them before
// it goes on. Where the window is the slower of the two, the drop ends when
// its last write is made either way; this keeps that last stretch short,
// and what the list shows close to what has been read.
constexpr size_t kWritesAhead = 256;

std::atomic<bool> g_stopRequested{false};
// Word from a scheduler that found a worker running: a row may have been
// added after that worker's last search, so it looks once more before it
// ends.
std::atomic<int32_t> g_lookAgain{0};

// A file for the worker: its row, the row's tag and the full path. The path
// is held in storage of its own size, so a path of any length reaches the
// worker whole (and simply fails to open when the system cannot take it).
struct WorkerJob {
    int32_t index;
    uint32_t tag;
    std::string path;
};

// The "Waiting" rows found by the last search and not taken yet, with the
// count of Clears when the search began: used only by whoever holds
// WorkerIdle at 0, the scheduler that took it, then the worker it started.
std::deque<WorkerJob> g_batch;
uint32_t g_batchCleared = 0;

// The worker's first job, written by the scheduler only while WorkerIdle is 0
// and before the worker starts, and read only by that worker; the worker finds
// its later jobs itself.
WorkerJob g_firstJob;

// Where the next search goes on: the row after the last one searched, and
// the tag of the row before it (list_view_win.h).
int32_t g_scanFrom = 0;
uint32_t g_scanFromTag = 0;

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

// The verdict, then the checksum, queued like the percentages: the worker
// goes on to the next file without waiting for the window.
void Finish(int32_t index, uint32_t tag, const std::string& path, const ChecksumOutcome& outcome) {
    if (!outcome.complete) {
        QueueListItemTextIfTagged(FileList, index, tag, "ReadError", kStateColumn);
        return;
    }
    std::string crcText = CrcText(outcome.checksum);
    // Together, so that no reader of the list sees the verdict without its
    // checksum: a rename would pass the file over, "Copy All" copy no
    // checksum.
    QueueListItemTextsIfTagged(
        FileList, index, tag,
        {{kStateColumn, ChecksumVerdict(path, crcText)}, {kCrcColumn, crcText}});
}

// One file, from its opening to its verdict (none when the worker is being
// stopped). The block is the worker's, allocated on its first file (again
// after a failure) and kept for the next ones.
void ChecksumEntry(const WorkerJob& job, unsigned char*& block) {
    ChecksumOutcome outcome = {false, 0, 0};
    uintptr_t file = OpenFileForReading(kWorkerFile, job.path);
    if (file != 0) {
        if (block == nullptr)
            block = static_cast<unsigned char*>(AllocateBlock(BlockSize));
        if (block != nullptr) {
            ChunkedFileSource source(file, job.path, &g_stopRequested);
            StateColumnProgress progress(job.index, job.tag);
            outcome = ChecksumBlocks(source, block, BlockSize, progress);
        } // the source's helping thread has ended, or been let go, here
        CloseFileNumber(kWorkerFile);
    }
    if (!g_stopRequested.load())
        Finish(job.index, job.tag, job.path, outcome);
}

// Fills the batch with the next "Waiting" rows and their paths. False when
// no row waits.
//
// Rows before the scan's start are past "Waiting" for good, as long as the
// list is the one they belong to (the search checks that), so the rows of a
// list are read about once each, however long it grows and however many
// files the worker takes in turn.
//
// A row's path is read in the same request as its state, so it always
// belongs to the row the search found; a "Clear" that comes after it leaves
// the batch with rows that are gone, and the tag checks of the writes show
// nothing of their files anywhere.
bool FindWaitingEntries() {
    g_batch.clear();
    g_batchCleared = ListsCleared.load();
    ListBatch found = FindListItemTexts(FileList, kStateColumn, kWaiting, g_scanFrom, g_scanFromTag,
                                        kNameColumn, kBatchRows, kBatchBytes);
    g_scanFrom = found.position;
    g_scanFromTag = found.tagBefore;
    for (ListMatch& row : found.rows)
        g_batch.push_back({row.row, row.tag, FullPathOfColumnText(row.text)});
    return !g_batch.empty();
}

// The next "Waiting" row, with its path, from the batch or a new search.
// (Whether a Clear came since the search is checked just before the file is
// opened, by StillListed.)
bool TakeWaitingEntry(WorkerJob* job) {
    if (g_batch.empty() && !FindWaitingEntries())
        return false;
    if (void (*hook)() = AfterWaitingRowFound.load())
        hook();
    *job = std::move(g_batch.front());
    g_batch.pop_front();
    return true;
}

// Just before the worker opens the next file of its batch: the file of a row
// that a "Clear" removed is never opened. A Clear since the search drops the
// rest of the batch, and the rows that still wait are looked for again.
bool StillListed(WorkerJob* job) {
    if (void (*hook)() = BeforeWorkerOpens.load())
        hook();
    if (ListsCleared.load() == g_batchCleared)
        return true;
    // The search may have read the new list already, when rows came in
    // after the Clear and before the search was served: it then moved the
    // scan past rows of the new list that it found, and they are dropped
    // here with the batch. So the next search starts at row 0.
    g_batch.clear();
    g_scanFrom = 0;
    g_scanFromTag = 0;
    return TakeWaitingEntry(job);
}

void AroundIdling(int32_t idle) {
    if (void (*hook)(int32_t) = AroundWorkerIdling.load())
        hook(idle);
}

} // namespace

void ChecksumScheduler() {
    // Taking WorkerIdle from 1 to 0 in one step makes this call the only one
    // that may start a worker: the timer's and the window thread's calls can
    // meet here, and whichever comes second finds 0 and leaves.
    // A worker that runs may just have found no row left: the word makes it
    // look once more, and if it went idle meanwhile, this call takes over.
    if (g_stopRequested.load())
        return;
    int32_t idle = 1;
    if (!WorkerIdle.compare_exchange_strong(idle, 0)) {
        g_lookAgain.store(1);
        idle = 1;
        if (!WorkerIdle.compare_exchange_strong(idle, 0))
            return;
    }
    g_lookAgain.store(0); // whoever holds WorkerIdle at 0 searches anyway
    WorkerJob job;
    if (!TakeWaitingEntry(&job)) {
        WorkerIdle.store(1);
        return;
    }
    g_firstJob = std::move(job);
    uintptr_t thread =
        StartWorkerThread.load()(ChecksumWorker, static_cast<uint32_t>(g_firstJob.index));
    // Only the newest worker can still be running (the one before it set
    // WorkerIdle as its last act), so only its handle is kept, for the
    // shutdown; the one it replaces is given up.
    ReleaseThreadHandle(WorkerThreadHandle.exchange(thread));
    if (thread == 0) {
        // No worker: the row goes back to the front of the batch, for a
        // later call, which takes it first.
        g_batch.push_front(std::move(g_firstJob));
        WorkerIdle.store(1);
    }
}

uint32_t ChecksumWorker(uint32_t) {
    WorkerJob job = std::move(g_firstJob);
    unsigned char* block = nullptr;
    bool taken = true;
    for (;;) {
        while (taken && StillListed(&job)) {
            ChecksumEntry(job, block);
            if (g_stopRequested.load())
                break;
            FlushQueuedListWrites(FileList, kWritesAhead);
            taken = TakeWaitingEntry(&job);
        }
        FreeBlock(block);
        block = nullptr;
        // The last verdicts are shown before the worker counts as idle.
        if (!g_stopRequested.load())
            FlushQueuedListWrites(FileList);
        AroundIdling(0);
        WorkerIdle.store(1);
        AroundIdling(1);
        // A scheduler that came between the last search and the line above
        // found the worker still running and left word instead of starting
        // one: the worker takes itself back and looks again. (When another
        // call took WorkerIdle first, that one looks.)
        if (g_stopRequested.load() || g_lookAgain.exchange(0) == 0)
            return 0;
        int32_t idle = 1;
        if (!WorkerIdle.compare_exchange_strong(idle, 0))
            return 0;
        taken = TakeWaitingEntry(&job);
    }
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
