// CRC-32 by carry-less multiplication with 128-bit registers (PCLMULQDQ).
// The data is folded into eight 128-bit lanes, 128 bytes per step, so that
// several multiplications are in flight while each waits for its result; the
// lanes are then folded into one, and the last 128 bits are reduced to 32:
// to 64 with x^64 mod P, then to 32 with a Barrett step (P' and mu), all in
// the reflected domain of the polynomial 0xEDB88320 (crc32_constants.py).
#include "checksum/crc32_folding_steps.h"
#include "checksum/crc32_kernels.h"

#include "checksum/crc32.h"

#if SUMVANE_CRC_X86

namespace crc32fold {

namespace {

alignas(16) const uint64_t kFold64[2] = {0x0163cd6124, 0x0000000000};
alignas(16) const uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

// length is at least 128.
SUMVANE_PCLMUL_TARGET uint32_t FoldEightLanes(const unsigned char* buf, size_t length,
                                              uint32_t crc) {
    __m128i x0 = _mm_xor_si128(Load(buf), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(buf + 0x10), x2 = Load(buf + 0x20), x3 = Load(buf + 0x30);
    __m128i x4 = Load(buf + 0x40), x5 = Load(buf + 0x50), x6 = Load(buf + 0x60);
    __m128i x7 = Load(buf + 0x70);
    buf += 128;
    length -= 128;

    const __m128i k1024 = Constants(kFold1024);
    while (length >= 128) {
        x0 = Fold(x0, k1024, Load(buf + 0x00));
        x1 = Fold(x1, k1024, Load(buf + 0x10));
        x2 = Fold(x2, k1024, Load(buf + 0x20));
        x3 = Fold(x3, k1024, Load(buf + 0x30));
        x4 = Fold(x4, k1024, Load(buf + 0x40));
        x5 = Fold(x5, k1024, Load(buf + 0x50));
        x6 = Fold(x6, k1024, Load(buf + 0x60));
        x7 = Fold(x7, k1024, Load(buf + 0x70));
        buf += 128;
        length -= 128;
    }

    // Eight lanes into one: pairs 512 bits apart, then 256, then 128.
    const __m128i k512 = Constants(kFold512);
    x0 = Fold(x0, k512, x4);
    x1 = Fold(x1, k512, x5);
    x2 = Fold(x2, k512, x6);
    x3 = Fold(x3, k512, x7);
    const __m128i k256 = Constants(kFold256);
    x0 = Fold(x0, k256, x2);
    x1 = Fold(x1, k256, x3);
    x0 = Fold(x0, Constants(kFold128), x1);
    alignas(16) unsigned char lane[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), x0);
    return FinishFolding(lane, buf, length);
}

// length is at least 16.
SUMVANE_PCLMUL_TARGET uint32_t FoldOneLane(const unsigned char* buf, size_t length, uint32_t crc) {
    alignas(16) unsigned char lane[16];
    __m128i x = _mm_xor_si128(Load(buf), _mm_cvtsi32_si128(static_cast<int>(crc)));
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), x);
    return FinishFolding(lane, buf + 16, length - 16);
}

} // namespace

SUMVANE_REALIGN SUMVANE_PCLMUL_TARGET uint32_t FinishFolding(const unsigned char* accumulator,
                                                             const unsigned char* buf,
                                                             size_t length) {
    __m128i x = Load(accumulator);
    __m128i k = Constants(kFold128);
    while (length >= 16) {
        x = Fold(x, k, Load(buf));
        buf += 16;
        length -= 16;
    }

    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i t = _mm_clmulepi64_si128(x, k, 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
    t = _mm_srli_si128(x, 4);
    x = _mm_and_si128(x, mask32);
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, Constants(kFold64), 0x00), t);

    // Barrett reduction to 32 bits.
    k = Constants(kBarrett);
    t = _mm_and_si128(x, mask32);
    t = _mm_clmulepi64_si128(t, k, 0x10);
    t = _mm_and_si128(t, mask32);
    t = _mm_clmulepi64_si128(t, k, 0x00);
    x = _mm_xor_si128(x, t);
    uint32_t running = static_cast<uint32_t>(_mm_extract_epi32(x, 1));
    return Crc32UpdateSliced(buf, length, running);
}

} // namespace crc32fold

bool Crc32FoldingAvailable() {
    const unsigned kPclmul = 1u << 1;
    const unsigned kSse41 = 1u << 19;
    unsigned ecx = crc32fold::CpuidLeaf(1).ecx;
    return (ecx & kPclmul) != 0 && (ecx & kSse41) != 0;
}

SUMVANE_REALIGN uint32_t Crc32UpdateFolding(const void* buffer, size_t length, uint32_t running) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    if (length >= 128)
        return crc32fold::FoldEightLanes(p, length, running);
    if (length >= 16)
        return crc32fold::FoldOneLane(p, length, running);
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
