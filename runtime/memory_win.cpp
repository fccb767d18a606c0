#include "runtime/memory_win.h"

#include <windows.h>

namespace {

// The heap's handle, under a lock: blocks are taken and released while the
// lock is held shared, and the heap is made and destroyed only while it is
// held alone. So a thread that releases its block while another destroys
// the heap (a worker that ends while a shutdown or a test's end tears
// down) finds either the heap whole or no heap, never one being destroyed.
// Both are constant-initialised and need no destructor, so they stay valid
// while the process ends.
SRWLOCK heapLock = SRWLOCK_INIT;
HANDLE blockHeap = nullptr;

class HeapShared {
  public:
    HeapShared() { AcquireSRWLockShared(&heapLock); }
    ~HeapShared() { ReleaseSRWLockShared(&heapLock); }
    HeapShared(const HeapShared&) = delete;
    HeapShared& operator=(const HeapShared&) = delete;
};

class HeapAlone {
  public:
    HeapAlone() { AcquireSRWLockExclusive(&heapLock); }
    ~HeapAlone() { ReleaseSRWLockExclusive(&heapLock); }
    HeapAlone(const HeapAlone&) = delete;
    HeapAlone& operator=(const HeapAlone&) = delete;
};

} // namespace

bool CreateBlockHeap() {
    HeapAlone alone;
    // Flags 0: the heap takes its own lock, so several threads may use it.
    if (blockHeap == nullptr)
        blockHeap = HeapCreate(0, 4000, 0);
    return blockHeap != nullptr;
}

void DestroyBlockHeap() {
    HeapAlone alone;
    if (blockHeap != nullptr)
        HeapDestroy(blockHeap);
    blockHeap = nullptr;
}

void* AllocateBlock(int32_t size) {
    HeapShared shared;
    if (size <= 0 || blockHeap == nullptr)
        return nullptr;
    return HeapAlloc(blockHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
}

void FreeBlock(void* block) {
    HeapShared shared;
    if (block != nullptr && blockHeap != nullptr)
        HeapFree(blockHeap, 0, block);
}
