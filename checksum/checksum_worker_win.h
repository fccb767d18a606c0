// Checksums in the background.
//
// The ChecksumScheduler runs every 500 ms on the system's timer thread, and
// the window thread calls it as soon as files were added. While no worker
// runs, it takes the lowest-numbered row whose state is exactly "Waiting" and
// starts one ChecksumWorker thread for it. The worker reads the file in
// 131072-byte blocks through the CRC-32 engine (a large one in chunks, with a
// helping thread: chunked_source_win.h), shows the share read so far in the
// State column whenever that text changes, and at the end writes the verdict
// ("CRC32 in filename", "CRC32 mismatch" or "no CRC32 in filename", see
// ChecksumVerdict) into State, then the checksum into CRC32. A file that
// cannot be read whole ends as "ReadError" with an empty CRC32 column. Then
// the same worker takes the next "Waiting" row at once, and so on, one file
// at a time in list order; it ends when no row waits, and the next add (or
// tick) starts a new one.
//
// Every write of the worker names its row by index and by the row's tag
// (list_view_win.h), and lands only while the row still carries that tag: after
// "Clear", a new row with the same index never receives the old worker's
// percentages, verdict or checksum. The old worker runs to its end and then
// lets the next one start.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// 1 while no worker runs. Only a call of the scheduler that takes it from 1 to
// 0 in one step may start a worker (and gives it back at once when no row
// waits); the worker sets it back to 1 as its last act.
extern std::atomic<int32_t> WorkerIdle;

// The handle of the most recently started worker thread; 0 before the first
// (and after a start that failed). Handles of earlier workers are released.
extern std::atomic<uintptr_t> WorkerThreadHandle;

// The bytes read per block, into one block allocated per file.
constexpr int32_t BlockSize = 131072;

// The periodic timer's procedure; the window thread calls it too, after adding
// files. Calls from several threads may meet: at most one starts a worker.
void ChecksumScheduler();

// The worker thread's procedure; index is the first row to checksum.
uint32_t ChecksumWorker(uint32_t index);

// For tests: when set, called once the next "Waiting" row has been found,
// with its path, and before its file is opened, on the thread that looks.
extern std::atomic<void (*)()> AfterWaitingRowFound;

// Shutdown: asks the most recently started worker to stop at its next block
// and gives it a moment to do so (its list requests are served meanwhile); it
// stops its helping thread, or lets it go, on its way out. True when the
// worker has ended, or none was started. A worker that is still running then
// (stuck in a read that hangs) is not ended by force, since it might hold a
// lock that the rest of the shutdown needs, such as the heap's: it is left to
// the process's exit.
bool StopWorker();
