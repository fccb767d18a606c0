// CRC-32 by carry-less multiplication: the data is folded 512 bits at a time
// into four 128-bit lanes, the lanes are folded into one, and the remaining
// 128 bits are reduced to 32 with a Barrett step. All constants live in the
// reflected domain of the polynomial 0xEDB88320:
//   k1 = x^(4*128+32) mod P, k2 = x^(4*128-32) mod P  (fold by four lanes)
//   k3 = x^(128+32) mod P,   k4 = x^(128-32) mod P    (fold by one lane)
//   k5 = x^64 mod P, and the Barrett pair P' and mu = x^64 / P
// each bit-reflected and shifted left by one, as carry-less products of
// reflected values come out one bit short.
#include "checksum/crc32_kernels.h"

#include "checksum/crc32.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

// The Win32 stack is only 4-byte aligned; realign on entry so that spilled
// vector registers land on 16-byte boundaries.
#if defined(__i386__)
#define SUMVANE_REALIGN __attribute__((force_align_arg_pointer))
#else
#define SUMVANE_REALIGN
#endif

namespace {

alignas(16) const uint64_t kK1K2[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t kK3K4[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t kK5K0[2] = {0x0163cd6124, 0x0000000000};
alignas(16) const uint64_t kPoly[2] = {0x01db710641, 0x01f7011641};

// length is at least 64 and a multiple of 16.
__attribute__((target("sse4.1,pclmul"))) uint32_t FoldBlocks(const unsigned char* buf,
                                                             size_t length, uint32_t crc) {
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x00));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x10));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x20));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK1K2));
    buf += 64;
    length -= 64;

    while (length >= 64) {
        __m128i l1 = _mm_clmulepi64_si128(x1, k, 0x00);
        __m128i l2 = _mm_clmulepi64_si128(x2, k, 0x00);
        __m128i l3 = _mm_clmulepi64_si128(x3, k, 0x00);
        __m128i l4 = _mm_clmulepi64_si128(x4, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, l1),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x00)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, l2),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x10)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, l3),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x20)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, l4),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 0x30)));
        buf += 64;
        length -= 64;
    }

    // Four lanes into one.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK3K4));
    __m128i lo = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x11), x2), lo);
    lo = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x11), x3), lo);
    lo = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x11), x4), lo);

    // The remaining whole lanes, one at a time.
    while (length >= 16) {
        __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf));
        lo = _mm_clmulepi64_si128(x1, k, 0x00);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x11), next), lo);
        buf += 16;
        length -= 16;
    }

    // 128 bits to 64.
    __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kK5K0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x00), x2);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kPoly));
    x2 = _mm_and_si128(x1, mask32);
    x2 = _mm_clmulepi64_si128(x2, k, 0x10);
    x2 = _mm_and_si128(x2, mask32);
    x2 = _mm_clmulepi64_si128(x2, k, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

} // namespace

bool Crc32FoldingAvailable() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const unsigned kPclmul = 1u << 1;
    const unsigned kSse41 = 1u << 19;
    return (ecx & kPclmul) != 0 && (ecx & kSse41) != 0;
}

SUMVANE_REALIGN uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    if (length >= 64) {
        size_t folded = length & ~static_cast<size_t>(15);
        running = FoldBlocks(p, folded, running);
        p += folded;
        length -= folded;
    }
    return Crc32UpdateSliced(p, length, running);
}

#else

bool Crc32FoldingAvailable() {
    return false;
}

uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running) {
    return Crc32UpdateSliced(buffer, length, running);
}

#endif
