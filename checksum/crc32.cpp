#include "checksum/crc32.h"

#include "checksum/crc32_kernels.h"
#include "runtime/code_page.h"
#include "runtime/path.h"
#include "runtime/text.h"

#include <algorithm>

namespace {

// Tables for sixteen bytes at a time, derived from Crc32Table by the compiler:
// Sliced[k][n] is the effect of byte n followed by k zero bytes.
struct SlicedTables {
    uint32_t t[16][256];
};

constexpr SlicedTables MakeSlicedTables() {
    SlicedTables s{};
    for (int n = 0; n < 256; ++n)
        s.t[0][n] = Crc32Table[n];
    for (int k = 1; k < 16; ++k)
        for (int n = 0; n < 256; ++n)
            s.t[k][n] = (s.t[k - 1][n] >> 8) ^ Crc32Table[s.t[k - 1][n] & 0xFF];
    return s;
}

constexpr SlicedTables kSliced = MakeSlicedTables();

inline uint32_t Load32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// a times b modulo the polynomial, both in the reflected form (bit 31 is
// the coefficient of x^0).
constexpr uint32_t MultiplyModP(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (a & bit)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return product;
}

// Powers[k] is x^(2^k) modulo the polynomial.
struct PowersOfX {
    uint32_t p[64];
};

constexpr PowersOfX MakePowersOfX() {
    PowersOfX powers{};
    uint32_t x = 1u << 30; // x^1
    for (int k = 0; k < 64; ++k) {
        powers.p[k] = x;
        x = MultiplyModP(x, x);
    }
    return powers;
}

constexpr PowersOfX kPowersOfX = MakePowersOfX();

bool Always() {
    return true;
}

const Crc32KernelEntry& ChooseKernel() {
    size_t i = 0;
    while (!Crc32Kernels[i].available())
        ++i;
    return Crc32Kernels[i];
}

const Crc32KernelEntry& Chosen() {
    // Chosen once, on first use; never changes afterwards.
    static const Crc32KernelEntry& choice = ChooseKernel();
    return choice;
}

} // namespace

const Crc32KernelEntry Crc32Kernels[] = {
    {"vpclmul-avx512", Crc32UpdateVpclmul512, Crc32Vpclmul512Available},
    {"vpclmul-avx2", Crc32UpdateVpclmul256, Crc32Vpclmul256Available},
    {"pclmul-folding", Crc32UpdateFolding, Crc32FoldingAvailable},
    {"slicing-by-16", Crc32UpdateSliced, Always},
    {"bytewise", Crc32UpdateBytewise, Always},
};
const size_t Crc32KernelCount = sizeof Crc32Kernels / sizeof Crc32Kernels[0];

uint32_t Crc32UpdateBytewise(const void* buffer, size_t length, uint32_t running) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    for (size_t i = 0; i < length; ++i)
        running = (running >> 8) ^ Crc32Table[(running ^ p[i]) & 0xFF];
    return running;
}

uint32_t Crc32UpdateSliced(const void* buffer, size_t length, uint32_t running) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    const auto& t = kSliced.t;
    while (length >= 16) {
        uint32_t a = running ^ Load32(p);
        uint32_t b = Load32(p + 4);
        uint32_t c = Load32(p + 8);
        uint32_t d = Load32(p + 12);
        running = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
                  t[12][a >> 24] ^ t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^
                  t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^
                  t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^ t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^
                  t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        length -= 16;
    }
    return Crc32UpdateBytewise(p, length, running);
}

uint32_t Crc32Update(const void* buffer, size_t length, uint32_t running) {
    if (length == 0)
        return running;
    return Chosen().update(buffer, length, running);
}

uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength) {
    // Appending n bytes multiplies the first part's remainder by x^(8n); the
    // start value and the final complement cancel out between the two parts.
    uint32_t shift = 1u << 31; // x^0
    for (int k = 3; secondLength != 0 && k < 64; ++k, secondLength >>= 1)
        if (secondLength & 1)
            shift = MultiplyModP(kPowersOfX.p[k], shift);
    return MultiplyModP(shift, first) ^ second;
}

const char* Crc32KernelName() {
    return Chosen().name;
}

std::string CrcText(uint32_t checksum) {
    return PadLeft(FormatHex(checksum), 8, "0");
}

bool CrcInPathTest(std::string_view path, std::string_view crcText) {
    if (crcText.empty())
        return false;
    return RemoveAllOccurrences(path, crcText, true).size() != path.size();
}

const char kCrcInFilename[] = "CRC32 in filename";
const char kCrcMismatch[] = "CRC32 mismatch";
const char kNoCrcInFilename[] = "no CRC32 in filename";

bool NameHoldsChecksumToken(std::string_view path) {
    std::string name = PathFileName(path);
    auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    // A token starts where a character starts, so in a double-byte code page
    // the second byte of a character is never taken for a bracket; its
    // digits are single bytes below 0x80, which never start a character of
    // two.
    for (size_t at = 0; at + 10 <= name.size(); at = NextCharStart(name, at)) {
        if (name[at] != '[' || name[at + 9] != ']')
            continue;
        if (std::all_of(name.begin() + at + 1, name.begin() + at + 9, isHex))
            return true;
    }
    return false;
}

const char* ChecksumVerdict(std::string_view path, std::string_view crcText) {
    if (CrcInPathTest(path, crcText))
        return kCrcInFilename;
    return NameHoldsChecksumToken(path) ? kCrcMismatch : kNoCrcInFilename;
}
