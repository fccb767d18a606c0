// CRC-32 by carry-less multiplication on 256-bit and 512-bit registers
// (VPCLMULQDQ). Each register holds two or four 128-bit lanes that fold like
// those of the 128-bit kernel; four registers are in flight at once, 128 or
// 256 bytes per step. The lanes are then folded into one 128-bit lane, which
// the 128-bit kernel's last steps reduce to the running value. A 32-bit
// program has only eight vector registers: four accumulators, the constants
// and the loads fit.
#include "checksum/crc32_folding_steps.h"
#include "checksum/crc32_kernels.h"

#if SUMVANE_CRC_X86

namespace crc32fold {

namespace {

constexpr unsigned kAvx2 = 1u << 5;        // leaf 7, ebx
constexpr unsigned kAvx512F = 1u << 16;    // leaf 7, ebx
constexpr unsigned kVpclmulqdq = 1u << 10; // leaf 7, ecx
constexpr unsigned kAvx = 1u << 28;        // leaf 1, ecx
constexpr uint64_t kYmmState = 0x6;        // XMM and the upper YMM halves
constexpr uint64_t kZmmState = 0x6 | 0xE0; // and opmasks, ZMM0-15 upper halves, ZMM16-31

#define SUMVANE_AVX2_TARGET __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))
#define SUMVANE_AVX512_TARGET __attribute__((target("avx512f,vpclmulqdq,avx2,pclmul,sse4.1")))

SUMVANE_AVX2_TARGET inline __m256i Load256(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

SUMVANE_AVX2_TARGET inline __m256i Fold256(__m256i x, __m256i k, __m256i next) {
    __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x00);
    __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(lo, hi), next);
}

// length is at least 128.
SUMVANE_AVX2_TARGET uint32_t FoldYmm(const unsigned char* buf, size_t length, uint32_t crc) {
    __m256i x0 = Load256(buf), x1 = Load256(buf + 32);
    __m256i x2 = Load256(buf + 64), x3 = Load256(buf + 96);
    x0 = _mm256_xor_si256(x0, _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
    buf += 128;
    length -= 128;

    const __m256i k1024 = _mm256_broadcastsi128_si256(Constants(kFold1024));
    while (length >= 128) {
        x0 = Fold256(x0, k1024, Load256(buf));
        x1 = Fold256(x1, k1024, Load256(buf + 32));
        x2 = Fold256(x2, k1024, Load256(buf + 64));
        x3 = Fold256(x3, k1024, Load256(buf + 96));
        buf += 128;
        length -= 128;
    }

    const __m256i k256 = _mm256_broadcastsi128_si256(Constants(kFold256));
    x0 = Fold256(x0, k256, x1);
    x0 = Fold256(x0, k256, x2);
    x0 = Fold256(x0, k256, x3);
    while (length >= 32) {
        x0 = Fold256(x0, k256, Load256(buf));
        buf += 32;
        length -= 32;
    }

    __m128i x =
        Fold(_mm256_castsi256_si128(x0), Constants(kFold128), _mm256_extracti128_si256(x0, 1));
    alignas(16) unsigned char lane[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), x);
    return FinishFolding(lane, buf, length);
}

SUMVANE_AVX512_TARGET inline __m512i Load512(const unsigned char* p) {
    return _mm512_loadu_si512(p);
}

// A constant pair in all four lanes. (Built from memory: GCC 12's broadcast
// and lane extraction intrinsics trip its own uninitialized-value warning.)
SUMVANE_AVX512_TARGET inline __m512i Broadcast512(const uint64_t* pair) {
    alignas(64) uint64_t lanes[8];
    for (int i = 0; i < 8; ++i)
        lanes[i] = pair[i % 2];
    return _mm512_load_si512(lanes);
}

SUMVANE_AVX512_TARGET inline __m512i Fold512(__m512i x, __m512i k, __m512i next) {
    __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x00);
    __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(lo, hi, next, 0x96); // lo ^ hi ^ next
}

// length is at least 256.
SUMVANE_AVX512_TARGET uint32_t FoldZmm(const unsigned char* buf, size_t length, uint32_t crc) {
    __m512i x0 = Load512(buf), x1 = Load512(buf + 64);
    __m512i x2 = Load512(buf + 128), x3 = Load512(buf + 192);
    x0 = _mm512_xor_si512(x0, _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    buf += 256;
    length -= 256;

    const __m512i k2048 = Broadcast512(kFold2048);
    while (length >= 256) {
        x0 = Fold512(x0, k2048, Load512(buf));
        x1 = Fold512(x1, k2048, Load512(buf + 64));
        x2 = Fold512(x2, k2048, Load512(buf + 128));
        x3 = Fold512(x3, k2048, Load512(buf + 192));
        buf += 256;
        length -= 256;
    }

    const __m512i k512 = Broadcast512(kFold512);
    x0 = Fold512(x0, k512, x1);
    x0 = Fold512(x0, k512, x2);
    x0 = Fold512(x0, k512, x3);
    while (length >= 64) {
        x0 = Fold512(x0, k512, Load512(buf));
        buf += 64;
        length -= 64;
    }

    alignas(64) unsigned char lanes[64];
    _mm512_store_si512(lanes, x0);
    const __m128i k128 = Constants(kFold128);
    __m128i x = Load(lanes);
    for (int i = 1; i < 4; ++i)
        x = Fold(x, k128, Load(lanes + 16 * i));
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), x);
    return FinishFolding(lanes, buf, length);
}

bool HasVpclmul(unsigned leaf7EbxFeature, uint64_t states) {
    if (!Crc32FoldingAvailable() || (CpuidLeaf(1).ecx & kAvx) == 0)
        return false;
    Cpuid leaf7 = CpuidLeaf(7);
    if ((leaf7.ebx & leaf7EbxFeature) == 0 || (leaf7.ecx & kVpclmulqdq) == 0)
        return false;
    return (SavedRegisterStates() & states) == states;
}

} // namespace

} // namespace crc32fold

bool Crc32Vpclmul256Available() {
    return crc32fold::HasVpclmul(crc32fold::kAvx2, crc32fold::kYmmState);
}

bool Crc32Vpclmul512Available() {
    return crc32fold::HasVpclmul(crc32fold::kAvx512F, crc32fold::kZmmState);
}

SUMVANE_REALIGN uint32_t Crc32UpdateVpclmul256(const void* buffer, size_t length,
                                               uint32_t running) {
    if (length < 128)
        return Crc32UpdateFolding(buffer, length, running);
    return crc32fold::FoldYmm(static_cast<const unsigned char*>(buffer), length, running);
}

SUMVANE_REALIGN uint32_t Crc32UpdateVpclmul512(const void* buffer, size_t length,
                                               uint32_t running) {
    if (length < 256)
        return Crc32UpdateFolding(buffer, length, running);
    return crc32fold::FoldZmm(static_cast<const unsigned char*>(buffer), length, running);
}

#else

bool Crc32Vpclmul256Available() {
    return false;
}

bool Crc32Vpclmul512Available() {
    return false;
}

uint32_t Crc32UpdateVpclmul256(const void* buffer, size_t length, uint32_t running) {
    return Crc32UpdateFolding(buffer, length, running);
}

uint32_t Crc32UpdateVpclmul512(const void* buffer, size_t length, uint32_t running) {
    return Crc32UpdateFolding(buffer, length, running);
}

#endif
