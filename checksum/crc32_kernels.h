// Processor-specific CRC-32 kernels behind Crc32Update. Callers use
// Crc32Update; these are declared here for the engine and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

// True when this processor can run Crc32UpdateFolding (PCLMULQDQ and SSE4.1).
bool Crc32FoldingAvailable();

// Carry-less multiplication folding, four 128-bit lanes at a time, with
// Barrett reduction at the end; short inputs and tails go through the sliced
// tables. Only call when Crc32FoldingAvailable() is true.
uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running);
