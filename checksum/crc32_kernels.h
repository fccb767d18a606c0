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

// True when the processor has VPCLMULQDQ with AVX-512F (or AVX2) and the
// system saves the 512-bit (or 256-bit) registers.
bool Crc32Vpclmul512Available();
bool Crc32Vpclmul256Available();

// Carry-less multiplication folding on 512-bit (or 256-bit) registers; short
// inputs go to Crc32UpdateFolding. Only call when available.
uint32_t Crc32UpdateVpclmul512(const void* buffer, size_t length, uint32_t running);
uint32_t Crc32UpdateVpclmul256(const void* buffer, size_t length, uint32_t running);

// True when this processor can run Crc32UpdateFolding (PCLMULQDQ and SSE4.1).
bool Crc32FoldingAvailable();

// Carry-less multiplication folding, eight 128-bit lanes at a time, with
// Barrett reduction at the end; the last bytes that fill no 16-byte lane go
// through the sliced tables. Only call when Crc32FoldingAvailable() is true.
uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running);
