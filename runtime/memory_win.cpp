#include "runtime/memory_win.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<HANDLE> blockHeap{nullptr};

} // namespace

bool CreateBlockHeap() {
    if (blockHeap.load() != nullptr)
        return true;
    // Flags 0: the heap takes its own lock, so several threads may use it.
    HANDLE heap = HeapCreate(0, 4000, 0);
    blockHeap.store(heap);
    return heap != nullptr;
}

void DestroyBlockHeap() {
    HANDLE heap = blockHeap.exchange(nullptr);
    if (heap != nullptr)
        HeapDestroy(heap);
}

void* AllocateBlock(int32_t size) {
    HANDLE heap = blockHeap.load();
    if (size <= 0 || heap == nullptr)
        return nullptr;
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
}

void FreeBlock(void* block) {
    HANDLE heap = blockHeap.load();
    if (block != nullptr && heap != nullptr)
        HeapFree(heap, 0, block);
}
