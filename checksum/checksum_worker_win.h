// Checksums in the background.
//
// The ChecksumScheduler runs every 500 ms on the system's timer thread, and
// the window thread calls it as soon as files were added. While no worker
// runs, it looks for the rows whose state is exactly "Waiting", lowest index
// first, and starts one ChecksumWorker thread for the first. One search
// takes up to a few hundred rows with their paths, in one request to the
// window thread, and the worker goes through them without asking the window
// again; then it searches again. The worker reads each file in 131072-byte
// blocks through the CRC-32 engine (a large one in chunks, with a helping
// thread: chunked_source_win.h), shows the share read so far in the State
// column whenever that text changes, and at the end writes the verdict ("CRC32
// in filename", "CRC32 mismatch" or "no CRC32 in filename", see
// ChecksumVerdict) into State, then the checksum into CRC32. A file that
// cannot be read whole ends as "ReadError" with an empty CRC32 column. Then
// the same worker takes the next "Waiting" row at once, and so on, one file at
// a time in list order; it ends when no row waits, and the next add (or tick)
// starts a new one.
//
// The worker never waits for the window per file: all its writes are queued,
// in order, and the window thread makes them in slices (list_view_win.h).
//
// Every write of the worker names its row by index and by the row's tag
// (list_view_win.h), and lands only while the row still carries that tag: after
// "Clear", a new row with the same index never receives the old worker's
// percentages, verdict or checksum. Before each file, the worker checks
// whether a Clear came since its search; then it drops the rest of the
// rows it found, and never opens their files. The old worker runs to the end
// of its file and then lets the next one start.
#pragma once

#include "runtime/threads_win.h"

#include <atomic>
#include <cstdint>
#include <string>

// 1 while no worker runs; 0 at start, until the program's window exists.
// Only a call of the scheduler that takes it from 1 to 0 in one step may
// start a worker (and gives it back at once when no row waits); the worker
// sets it back to 1 when it finds no row left, and takes it back only in the
// same way.
extern std::atomic<int32_t> WorkerIdle;

// The handle of the most recently started worker thread; 0 before the first
// (and after a start that failed). Handles of earlier workers are released.
extern std::atomic<uintptr_t> WorkerThreadHandle;

// The bytes read per block, into one block allocated per worker.
constexpr int32_t BlockSize = 131072;

// The periodic timer's procedure; the window thread calls it too, after adding
// files. Calls from several threads may meet: at most one starts a worker.
void ChecksumScheduler();

// The worker thread's procedure. index is the row of its first file, as
// threads are started with one number; the worker takes that file, with the
// row's tag and path, from what the scheduler handed over beside it, so it
// reads no row by its index alone.
uint32_t ChecksumWorker(uint32_t index);

// For tests, each called on the thread concerned when set: once the next
// "Waiting" row has been taken, with its path, from a search's rows; just
// before the worker checks for a Clear and opens the next file; and just
// before (with 0) and after (with 1) the worker sets WorkerIdle to 1.
extern std::atomic<void (*)()> AfterWaitingRowFound;
extern std::atomic<void (*)()> BeforeWorkerOpens;
extern std::atomic<void (*)(int32_t idle)> AroundWorkerIdling;
// For tests: what starts a worker thread (StartThread).
extern std::atomic<uintptr_t (*)(ThreadProcedure, uint32_t)> StartWorkerThread;

// Shutdown: asks the most recently started worker to stop at its next block
// and gives it a moment to do so (its list requests are served meanwhile); it
// stops its helping thread, or lets it go, on its way out. True when the
// worker has ended, or none was started. A worker that is still running then
// (stuck in a read that hangs) is not ended by force, since it might hold a
// lock that the rest of the shutdown needs, such as the heap's: it is left to
// the process's exit.
bool StopWorker();
