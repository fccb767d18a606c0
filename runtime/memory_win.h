// Zero-filled memory blocks for large reads.
//
// Blocks come from a private heap of their own, so that destroying that heap
// at shutdown releases every block at once, including one held by a worker
// thread that was stopped in the middle of its file. The heap serialises
// allocations itself, so any thread may take or release blocks.
#pragma once

#include <cstdint>

// Creates the block heap (initial size 4000 bytes, growing as needed). True
// on success, and also when the heap already exists.
bool CreateBlockHeap();

// Destroys the block heap and with it every block still allocated. After
// this, AllocateBlock gives nullptr until CreateBlockHeap runs again, and
// FreeBlock does nothing. A block being taken or released on another thread
// meanwhile is done with first.
void DestroyBlockHeap();

// A new block of size bytes, all zero; nullptr when size is 0 or negative,
// when memory is exhausted, or when there is no block heap.
void* AllocateBlock(int32_t size);

// Releases a block from AllocateBlock. nullptr does nothing.
void FreeBlock(void* block);
