#include "checksum/checksum_worker_win.h"

#include "checksum/checksum_loop.h"
#include "checksum/chunked_source_win.h"
#include "checksum/crc32.h"
#include "checksum/file_entry_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"
#include "runtime/threads_win.h"
#include "ui/list_view_win.h"

#include <windows.h>

std::atomic<int32_t> WorkerIdle{0};
std::atomic<uintptr_t> WorkerThreadHandle{0};

namespace {

constexpr int32_t kCrcColumn = 1;
constexpr int32_t kStateColumn = 2;
constexpr int32_t kWorkerFile = 0;
constexpr DWORD kStopGraceMs = 250;

std::atomic<bool> g_stopRequested{false};

// The worker's job, written by the scheduler only while WorkerIdle is 0 and
// before the worker starts, and read only by that worker. The path is held in
// storage of its own size, so a path of any length reaches the worker whole
// (and simply fails to open when the system cannot take it).
std::string WorkerPathBuffer;
uint32_t WorkerEntryTag = 0;

// Writes the percentage into the entry's State column when it differs from
// what the column shows: about one write per percent, not one per block.
//
// What the column shows is read once, when the worker starts, and then kept
// here: nothing but this worker writes the State of its entry while it runs,
// so the copy always equals the column, and each block is spared a round trip
// to the window thread (which would cost more than reading the block).
class StateColumnProgress : public ProgressSink {
  public:
    StateColumnProgress(int32_t index, uint32_t tag)
        : index_(index), tag_(tag), shown_(GetListItemText(FileList, index, kStateColumn)) {}
    void Progress(const std::string& percentText) override {
        if (percentText == shown_)
            return;
        SetListItemTextIfTagged(FileList, index_, tag_, percentText, kStateColumn);
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
    const char* verdict =
        CrcInPathTest(path, crcText) ? "CRC32 in filename" : "no CRC32 in filename";
    // State first, then the checksum.
    SetListItemTextIfTagged(FileList, index, tag, verdict, kStateColumn);
    SetListItemTextIfTagged(FileList, index, tag, crcText, kCrcColumn);
}

} // namespace

void ChecksumScheduler() {
    if (WorkerIdle.load() != 1)
        return;
    // Rows before the scan's start are past "Waiting" for good, as long as
    // the list is the one they belong to (the search checks that), so a tick
    // reads each row of a list only once however long the list grows.
    static int32_t scanFrom = 0;
    static uint32_t scanFromTag = 0;
    ListSearch waiting = FindListItemText(FileList, kStateColumn, "Waiting", scanFrom, scanFromTag);
    scanFrom = waiting.position;
    scanFromTag = waiting.tagBefore;
    if (!waiting.found)
        return;
    int32_t index = waiting.position;
    // The tag is read with the state and again after the path: if it is the
    // same both times, no "Clear" came between, and the path belongs to it.
    std::string path = EntryFullPath(index);
    if (GetListItemTag(FileList, index) != waiting.tag)
        return; // the list changed underneath; the next tick looks again

    WorkerIdle.store(0);
    WorkerPathBuffer = path;
    WorkerEntryTag = waiting.tag;
    uintptr_t thread = StartThread(ChecksumWorker, static_cast<uint32_t>(index));
    // Only the newest worker can still be running (the one before it set
    // WorkerIdle as its last act), so only its handle is kept, for the
    // shutdown; the one it replaces is given up.
    ReleaseThreadHandle(WorkerThreadHandle.exchange(thread));
    if (thread == 0)
        WorkerIdle.store(1); // no worker: a later tick tries again
}

uint32_t ChecksumWorker(uint32_t value) {
    auto index = static_cast<int32_t>(value);
    const std::string path = WorkerPathBuffer;
    const uint32_t tag = WorkerEntryTag;

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
