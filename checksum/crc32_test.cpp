#include "checksum/crc32.h"

#include "checksum/crc32_kernels.h"
#include "checksum/guarded_page_test_support.h"
#include "runtime/code_page.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <vector>

#if SUMVANE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using Kernel = Crc32Kernel;

struct KernelCase {
    const char* name;
    Kernel kernel;
    bool (*available)();
};

void PrintTo(const KernelCase& c, std::ostream* os) {
    *os << c.name;
}

bool Always() {
    return true;
}

// Every kernel of the engine, each reached directly, and the dispatcher.
std::vector<KernelCase> AllKernels() {
    std::vector<KernelCase> cases;
    for (size_t i = 0; i < Crc32KernelCount; ++i)
        cases.push_back({Crc32Kernels[i].name, Crc32Kernels[i].update, Crc32Kernels[i].available});
    cases.push_back({"dispatched", Crc32Update, Always});
    return cases;
}

uint32_t Whole(Kernel kernel, const void* data, size_t length) {
    return kernel(data, length, kCrc32Start) ^ 0xFFFFFFFFu;
}

std::vector<unsigned char> RandomBytes(size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> bytes(length);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

// The reference is the plain definition of the CRC, one bit at a time,
// independent of the table.
uint32_t BitwiseCrc(const unsigned char* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Oracle(const unsigned char* data, size_t length) {
#if SUMVANE_HAVE_ZLIB
    return static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(length)));
#else
    return BitwiseCrc(data, length);
#endif
}

class Crc32Kernels : public ::testing::TestWithParam<KernelCase> {
  protected:
    void SetUp() override {
        if (!GetParam().available())
            GTEST_SKIP() << GetParam().name << " is not available on this processor";
    }
};

TEST_P(Crc32Kernels, CheckValue) {
    const char* check = "123456789";
    EXPECT_EQ(0xCBF43926u, Whole(GetParam().kernel, check, 9));
    EXPECT_EQ("CBF43926", CrcText(Whole(GetParam().kernel, check, 9)));
}

TEST_P(Crc32Kernels, EmptyInputIsZero) {
    EXPECT_EQ(0u, Whole(GetParam().kernel, "", 0));
    EXPECT_EQ(kCrc32Start, GetParam().kernel(nullptr, 0, kCrc32Start));
}

TEST_P(Crc32Kernels, MatchesReferenceForEveryShortLengthAndStart) {
    auto bytes = RandomBytes(1024 + 64, 7);
    std::mt19937 rng(5);
    for (size_t offset = 0; offset < 64; ++offset) {
        for (size_t length = 0; length <= 1024; ++length) {
            const unsigned char* p = bytes.data() + offset;
            uint32_t start = rng();
            ASSERT_EQ(Crc32UpdateBytewise(p, length, start), GetParam().kernel(p, length, start))
                << "offset " << offset << " length " << length << " start " << start;
        }
    }
}

TEST_P(Crc32Kernels, MatchesReferenceForRandomLargeLengths) {
    auto bytes = RandomBytes((1 << 20) + 64, 9);
    std::mt19937 rng(23);
    for (int round = 0; round < 12; ++round) {
        size_t offset = rng() % 64;
        size_t length = rng() % (1 << 20);
        uint32_t start = rng();
        const unsigned char* p = bytes.data() + offset;
        ASSERT_EQ(Crc32UpdateBytewise(p, length, start), GetParam().kernel(p, length, start))
            << "offset " << offset << " length " << length;
    }
}

// A kernel must not read a single byte past the end of its buffer, however
// wide its loads: the buffer ends where a page without access begins.
TEST_P(Crc32Kernels, ReadsNothingPastTheEnd) {
    GuardedPage guarded;
    ASSERT_TRUE(guarded.Valid());
    unsigned char* end = guarded.End();
    auto bytes = RandomBytes(2048, 29);
    std::memcpy(end - bytes.size(), bytes.data(), bytes.size());
    for (size_t length = 0; length <= bytes.size(); ++length) {
        const unsigned char* p = end - length;
        ASSERT_EQ(Crc32UpdateBytewise(p, length, kCrc32Start),
                  GetParam().kernel(p, length, kCrc32Start))
            << "length " << length;
    }
}

TEST_P(Crc32Kernels, EverySplitInTwoMatchesOnePiece) {
    auto bytes = RandomBytes(300, 11);
    uint32_t expected = Oracle(bytes.data(), bytes.size());
    for (size_t split = 0; split <= bytes.size(); ++split) {
        SCOPED_TRACE(testing::Message() << "split at " << split);
        uint32_t running = GetParam().kernel(bytes.data(), split, kCrc32Start);
        running = GetParam().kernel(bytes.data() + split, bytes.size() - split, running);
        ASSERT_EQ(expected, running ^ 0xFFFFFFFFu);
    }
}

TEST_P(Crc32Kernels, RandomBlockSizesWithEmptyBlocksMatchOnePiece) {
    auto bytes = RandomBytes(1 << 20, 13);
    uint32_t expected = Oracle(bytes.data(), bytes.size());
    std::mt19937 rng(17);
    for (int round = 0; round < 20; ++round) {
        uint32_t running = kCrc32Start;
        size_t at = 0;
        while (at < bytes.size()) {
            size_t piece = rng() % 3 == 0 ? 0 : rng() % 70000;
            piece = std::min(piece, bytes.size() - at);
            uint32_t before = running;
            running = GetParam().kernel(bytes.data() + at, piece, running);
            if (piece == 0) {
                ASSERT_EQ(before, running) << "an empty block changed the running value";
            }
            at += piece;
        }
        ASSERT_EQ(expected, running ^ 0xFFFFFFFFu) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Crc32Kernels, ::testing::ValuesIn(AllKernels()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(Crc32Table, EntriesFollowTheirDefinition) {
    EXPECT_EQ(0x77073096u, Crc32Table[1]);
    EXPECT_EQ(0xEDB88320u, Crc32Table[128]);
    EXPECT_EQ(0x2D02EF8Du, Crc32Table[255]);
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t v = n;
        for (int round = 0; round < 8; ++round)
            v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
        ASSERT_EQ(v, Crc32Table[n]) << "entry " << n;
    }
}

TEST(Crc32Table, ReferenceAgreesWithBitwiseDefinition) {
    auto bytes = RandomBytes(5000, 3);
    for (size_t length : {0u, 1u, 9u, 100u, 5000u})
        EXPECT_EQ(BitwiseCrc(bytes.data(), length),
                  Whole(Crc32UpdateBytewise, bytes.data(), length));
}

TEST(Crc32Combine, TwoPiecesGiveTheWhole) {
    auto bytes = RandomBytes(300, 19);
    for (size_t split = 0; split <= bytes.size(); ++split)
        ASSERT_EQ(Oracle(bytes.data(), bytes.size()),
                  Crc32Combine(Oracle(bytes.data(), split),
                               Oracle(bytes.data() + split, bytes.size() - split),
                               bytes.size() - split))
            << "split at " << split;
    // Lengths beyond 4 GiB: 5 GiB of zeros, from 1 MiB by doubling and one
    // last piece of 1 GiB (the checksum computed with Python's zlib.crc32).
    std::vector<unsigned char> mebibyte(1 << 20);
    uint32_t zeros[14] = {Oracle(mebibyte.data(), mebibyte.size())}; // zeros[k]: 2^k MiB
    for (int k = 1; k < 14; ++k)
        zeros[k] = Crc32Combine(zeros[k - 1], zeros[k - 1], uint64_t(1) << (19 + k));
    EXPECT_EQ(0x193838C3u, Crc32Combine(zeros[12], zeros[10], uint64_t(1) << 30));
}

TEST(CrcText, AlwaysEightUpperCaseDigits) {
    struct {
        uint32_t value;
        const char* text;
    } cases[] = {
        {0, "00000000"},          {0xABC, "00000ABC"},      {0x1A2B3C4D, "1A2B3C4D"},
        {0xFFFFFFFF, "FFFFFFFF"}, {0x0000000F, "0000000F"}, {0xCBF43926, "CBF43926"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, CrcText(c.value)) << std::hex << c.value;
}

TEST(CrcInPathTest, FindsTheChecksumAnywhereInThePathIgnoringCase) {
    struct {
        const char* path;
        const char* crc;
        bool carried;
    } cases[] = {
        {"D:\\Films\\clip [0012ABCD].avi", "0012ABCD", true},
        {"D:\\Films\\clip [0012abcd].avi", "0012ABCD", true},
        {"D:\\0012ABCD\\clip.avi", "0012ABCD", true},
        {"D:\\Films\\clip.avi", "0012ABCD", false},
        {"D:\\Films\\clip [0012ABC].avi", "0012ABCD", false},
        {"", "0012ABCD", false},
        {"D:\\any.avi", "", false},
        // Only ASCII letters fold: 0xC4 and 0xE4 are different bytes.
        {"x\xC4.bin", "\xE4", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.carried, CrcInPathTest(c.path, c.crc)) << c.path << " / " << c.crc;
}

// The file's checksum is 1EBC850A; the name may carry another one.
TEST(ChecksumVerdict, AnotherChecksumInBracketsInTheFileNameIsAMismatch) {
    struct {
        const char* path;
        const char* verdict;
    } cases[] = {
        {"D:\\TV\\Show - 01 [1EAC850B].mkv", kCrcMismatch},
        {"D:\\TV\\[1EAC850B] Show - 01.mkv", kCrcMismatch},
        {"D:\\TV\\Show [1EAC850B] - 01.mkv", kCrcMismatch},
        {"D:\\TV\\Show - 01 [1eac850b].mkv", kCrcMismatch},
        {"D:\\TV\\[1EAC850B]", kCrcMismatch},
        // One of two tokens is the file's own: it carries its checksum.
        {"D:\\TV\\Show [1EAC850B] [1ebc850a].mkv", kCrcInFilename},
        {"D:\\TV\\Show [1EAC850B] [00000000].mkv", kCrcMismatch},
        // Not a checksum of the name's own.
        {"D:\\TV\\Show - 01 [1EAC850].mkv", kNoCrcInFilename},
        {"D:\\TV\\Show - 01 [1EAC850B0].mkv", kNoCrcInFilename},
        {"D:\\TV\\Show - 01 [1EAC850G].mkv", kNoCrcInFilename},
        {"D:\\TV\\Show - 01 (1EAC850B).mkv", kNoCrcInFilename},
        {"D:\\Notes (20231231).pdf", kNoCrcInFilename},
        {"D:\\TV\\Show 1A2B3C4D.mkv", kNoCrcInFilename},
        {"D:\\TV\\Show [1EAC 850B].mkv", kNoCrcInFilename},
        {"D:\\[1EAC850B]\\Show - 01.mkv", kNoCrcInFilename},
        {"D:\\TV\\Show - 01.mkv", kNoCrcInFilename},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.verdict, ChecksumVerdict(c.path, "1EBC850A")) << c.path;

    // In code page 932, \xED\x5B is one character, not a bracket.
    SetLeadByteRanges("\x81\x9F\xE0\xFC");
    EXPECT_STREQ(kNoCrcInFilename, ChecksumVerdict("D:\\\xED[1EAC850B].mkv", "1EBC850A"));
    SetLeadByteRanges("");
    EXPECT_STREQ(kCrcMismatch, ChecksumVerdict("D:\\\xED[1EAC850B].mkv", "1EBC850A"));
}

} // namespace
