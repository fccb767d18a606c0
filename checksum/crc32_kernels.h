// The CRC-32 kernels behind Crc32Update, in one table. Callers use
// Crc32Update; the table is here for the engine, its tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>

using Crc32Kernel = uint32_t (*)(const void* buffer, size_t length, uint32_t running);

struct Crc32KernelEntry {
    const char* name;
    Crc32Kernel update;
    // Whether this processor (and, for vector registers, the system) can run it.
    bool (*available)();
};

// Every kernel, fastest first. Crc32Update runs the first available one; the
// last two (slicing-by-16 and the byte-wise reference) run anywhere. Each
// gives exactly the result of Crc32UpdateBytewise.
extern const Crc32KernelEntry Crc32Kernels[];
extern const size_t Crc32KernelCount;

// True when this processor can run Crc32UpdateFolding (PCLMULQDQ and SSE4.1).
bool Crc32FoldingAvailable();

// Carry-less multiplication folding, four 128-bit lanes at a time, with
// Barrett reduction at the end; short inputs and tails go through the sliced
// tables. Only call when Crc32FoldingAvailable() is true.
uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running);
