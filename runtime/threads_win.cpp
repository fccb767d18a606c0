#include "runtime/threads_win.h"

#include <windows.h>

#include <new>

namespace {

struct ThreadStart {
    ThreadProcedure procedure;
    uint32_t value;
};

// The system calls thread bodies with its own calling convention and a
// pointer-sized argument; callers write plain functions of a 32-bit value.
// This adapter sits in between, and releases its start record before the
// body runs, so a thread stopped later leaves nothing behind.
DWORD WINAPI RunThreadProcedure(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    return start.procedure(start.value);
}

} // namespace

uintptr_t StartThread(ThreadProcedure procedure, uint32_t value) {
    if (procedure == nullptr)
        return 0;
    ThreadStart* start = new (std::nothrow) ThreadStart{procedure, value};
    if (start == nullptr)
        return 0;
    HANDLE thread = CreateThread(nullptr, 4096, RunThreadProcedure, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
    return reinterpret_cast<uintptr_t>(thread);
}

bool StopThread(uintptr_t handle) {
    if (handle == 0)
        return false;
    HANDLE thread = reinterpret_cast<HANDLE>(handle);
    // A thread that has already ended is left alone, so its exit code stays
    // whatever its procedure returned.
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0)
        return true;
    return TerminateThread(thread, 0) != 0;
}

void ReleaseThreadHandle(uintptr_t handle) {
    if (handle != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
}
