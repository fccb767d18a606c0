// What the carry-less multiplication kernels share (x86 only): the folding
// constants, the processor checks, and the last steps from one 128-bit lane
// down to the running value. The constants are printed by crc32_constants.py.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#define SUMVANE_CRC_X86 1

#include <cpuid.h>
#include <immintrin.h>

// The Win32 stack is only 4-byte aligned; each kernel's entry realigns it so
// that spilled vector registers land on their own boundaries.
#if defined(__i386__)
#define SUMVANE_REALIGN __attribute__((force_align_arg_pointer))
#else
#define SUMVANE_REALIGN
#endif

namespace crc32fold {

// Folding a 128-bit lane forward by D bits: {x^(D+32) mod P, x^(D-32) mod P}.
alignas(16) inline constexpr uint64_t kFold2048[2] = {0x011542778a, 0x01322d1430};
alignas(16) inline constexpr uint64_t kFold1024[2] = {0x01e88ef372, 0x014a7fe880};
alignas(16) inline constexpr uint64_t kFold512[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) inline constexpr uint64_t kFold256[2] = {0x00f1da05aa, 0x015a546366};
alignas(16) inline constexpr uint64_t kFold128[2] = {0x01751997d0, 0x00ccaa009e};

// The 128-bit steps, for the wider kernels too (their instruction sets
// include these).
#define SUMVANE_PCLMUL_TARGET __attribute__((target("sse4.1,pclmul")))

SUMVANE_PCLMUL_TARGET inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

SUMVANE_PCLMUL_TARGET inline __m128i Constants(const uint64_t* pair) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(pair));
}

// x carried forward over the distance that k stands for, onto next.
SUMVANE_PCLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

struct Cpuid {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

inline Cpuid CpuidLeaf(unsigned leaf) {
    Cpuid r;
    // GCC's cpuid.h gives the highest leaf as unsigned, clang's as int.
    if (static_cast<unsigned>(__get_cpuid_max(0, nullptr)) < leaf)
        return r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

// Which register states the system saves on a thread switch (XCR0); 0 when
// the system does not tell, so no vector state beyond SSE is trusted.
inline uint64_t SavedRegisterStates() {
    const unsigned kOsXsave = 1u << 27;
    if ((CpuidLeaf(1).ecx & kOsXsave) == 0)
        return 0;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t(hi) << 32) | lo;
}

// Folds the whole 16-byte lanes of buf (length bytes, any count) into the
// 128-bit accumulator (16 bytes, the lowest first), reduces it to the running
// value, and runs the last length % 16 bytes through the sliced tables.
uint32_t FinishFolding(const unsigned char* accumulator, const unsigned char* buf, size_t length);

} // namespace crc32fold

#endif
