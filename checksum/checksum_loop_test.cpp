#include "checksum/checksum_loop.h"
#include "checksum/file_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#if SUMVANE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

constexpr int32_t kBlock = 131072;

// A file in memory (or, for huge sizes, a file of zeros that is never
// stored), with faults and growth to order.
class FakeFile : public BlockSource {
  public:
    explicit FakeFile(std::vector<unsigned char> bytes)
        : bytes_(std::move(bytes)), length_(static_cast<int64_t>(bytes_.size())) {}
    static FakeFile Zeros(int64_t length) {
        FakeFile f({});
        f.length_ = length;
        f.zeros_ = true;
        return f;
    }

    int64_t Length() override {
        if (unknownLength_)
            return -1;
        if (shrinkAfterReads_ >= 0 && reads_ > shrinkAfterReads_)
            return shrunkLength_;
        // Each look after the first finds the next growth, if any is left.
        if (lengthLooks_++ > 0 && !growths_.empty()) {
            bytes_.insert(bytes_.end(), growths_.front().begin(), growths_.front().end());
            length_ = static_cast<int64_t>(bytes_.size());
            growths_.erase(growths_.begin());
        }
        return length_;
    }
    int32_t Read(unsigned char* block, int32_t count) override {
        ++reads_;
        int64_t now =
            shrinkAfterReads_ >= 0 && reads_ > shrinkAfterReads_ ? shrunkLength_ : length_;
        int64_t available = std::max<int64_t>(0, std::min<int64_t>(count, now - position_));
        if (shortReadAt_ == reads_)
            available = available / 2;
        if (available > 0 && !zeros_)
            std::memcpy(block, bytes_.data() + position_, static_cast<size_t>(available));
        // A file of zeros leaves the block as it is: the test's block holds
        // zeros only.
        position_ += available;
        return static_cast<int32_t>(available);
    }

    int shortReadAt_ = -1;
    int shrinkAfterReads_ = -1;
    int64_t shrunkLength_ = 0;
    std::vector<std::vector<unsigned char>> growths_;
    bool unknownLength_ = false;
    int reads_ = 0;

  private:
    std::vector<unsigned char> bytes_;
    int64_t length_;
    int64_t position_ = 0;
    bool zeros_ = false;
    int lengthLooks_ = 0;
};

struct Recorder : ProgressSink {
    void Progress(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

std::vector<unsigned char> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

uint32_t Oracle(const std::vector<unsigned char>& bytes) {
#if SUMVANE_HAVE_ZLIB
    return static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
#else
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
#endif
}

TEST(ChecksumBlocks, PercentagesAndChecksumsForWholeFiles) {
    using Texts = std::vector<std::string>;
    struct {
        size_t size;
        Texts percentages;
    } cases[] = {
        {0, {"0%"}},
        {1, {"0%"}},
        {kBlock, {"0%"}},
        {kBlock + 1, {"0%", "100%"}},
        {2 * kBlock, {"0%", "50%"}},
        {2 * kBlock + 100, {"0%", "50%", "100%"}},
        {8 * kBlock, {"0%", "13%", "25%", "38%", "50%", "63%", "75%", "88%"}},
    };
    std::vector<unsigned char> block(kBlock);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        auto bytes = RandomBytes(c.size, static_cast<unsigned>(c.size));
        FakeFile file(bytes);
        Recorder recorder;
        ChecksumOutcome outcome = ChecksumBlocks(file, block.data(), kBlock, recorder);
        EXPECT_TRUE(outcome.complete);
        EXPECT_EQ(Oracle(bytes), outcome.checksum);
        EXPECT_EQ(static_cast<int64_t>(c.size), outcome.bytesChecked);
        EXPECT_EQ(c.percentages, recorder.texts);
    }
}

TEST(ChecksumBlocks, NeverCallsAnIncompleteReadAFinishedChecksum) {
    struct {
        const char* fault;
        void (*order)(FakeFile&);
    } cases[] = {
        {"short read in the middle", [](FakeFile& f) { f.shortReadAt_ = 2; }},
        {"short read of the last block", [](FakeFile& f) { f.shortReadAt_ = 4; }},
        {"file shrinks below the position",
         [](FakeFile& f) {
             f.shrinkAfterReads_ = 2;
             f.shrunkLength_ = 1000;
         }},
        {"file shrinks inside the next block",
         [](FakeFile& f) {
             f.shrinkAfterReads_ = 1;
             f.shrunkLength_ = kBlock + 5;
         }},
        {"file shrinks after its last block was read",
         [](FakeFile& f) {
             f.shrinkAfterReads_ = 3;
             f.shrunkLength_ = 1000;
         }},
        {"length unknown", [](FakeFile& f) { f.unknownLength_ = true; }},
    };
    std::vector<unsigned char> block(kBlock);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        FakeFile file(RandomBytes(3 * kBlock + 77, 5));
        c.order(file);
        Recorder recorder;
        ChecksumOutcome outcome = ChecksumBlocks(file, block.data(), kBlock, recorder);
        EXPECT_FALSE(outcome.complete);
    }
}

// A file that grows while it is read (a log still being written) is read on
// to its new end, and its checksum is that of all its bytes.
TEST(ChecksumBlocks, AFileThatGrowsIsReadToItsNewEnd) {
    struct {
        size_t size;
        std::vector<size_t> growths; // found one by one, each time the end is reached
    } cases[] = {
        {3 * kBlock + 77, {5 * kBlock}},
        {3 * kBlock + 77, {100, kBlock, 1}},
        {0, {kBlock + 1}}, // an empty file that fills
    };
    std::vector<unsigned char> block(kBlock);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " + " << c.growths.size() << " growths");
        auto bytes = RandomBytes(c.size, 3);
        FakeFile file(bytes);
        for (size_t g : c.growths) {
            file.growths_.push_back(RandomBytes(g, static_cast<unsigned>(g)));
            bytes.insert(bytes.end(), file.growths_.back().begin(), file.growths_.back().end());
        }
        Recorder recorder;
        ChecksumOutcome outcome = ChecksumBlocks(file, block.data(), kBlock, recorder);
        EXPECT_TRUE(outcome.complete);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), outcome.bytesChecked);
        EXPECT_EQ(Oracle(bytes), outcome.checksum);
    }
}

TEST(ChecksumBlocks, AMissingBlockIsNoChecksum) {
    FakeFile file(RandomBytes(10, 1));
    Recorder recorder;
    EXPECT_FALSE(ChecksumBlocks(file, nullptr, kBlock, recorder).complete);
    unsigned char one = 0;
    EXPECT_FALSE(ChecksumBlocks(file, &one, 0, recorder).complete);
    EXPECT_TRUE(recorder.texts.empty());
}

// Files past 2 GiB and past 4 GiB: the length no longer fits 31 or 32 bits.
TEST(ChecksumBlocks, FilesOfSeveralGibibytesAreReadWholeWithRisingPercentages) {
    const int64_t kGiB = int64_t(1) << 30;
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::vector<unsigned char> block(kBlock);
    for (int64_t size : {3 * kGiB, 5 * kGiB + 100}) {
        SCOPED_TRACE(size);
        FakeFile file = FakeFile::Zeros(size);
        Recorder recorder;
        ChecksumOutcome outcome = ChecksumBlocks(file, block.data(), kBlock, recorder);
        ASSERT_TRUE(outcome.complete);
        EXPECT_EQ(size, outcome.bytesChecked);

        uint32_t expected = 0;
#if SUMVANE_HAVE_ZLIB
        uLong crc = crc32(0L, Z_NULL, 0);
        for (int64_t left = size; left > 0; left -= static_cast<int64_t>(zeros.size()))
            crc = crc32(
                crc, zeros.data(),
                static_cast<uInt>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size()))));
        expected = static_cast<uint32_t>(crc);
        EXPECT_EQ(expected, outcome.checksum);
#endif
        ASSERT_FALSE(recorder.texts.empty());
        EXPECT_EQ("0%", recorder.texts.front());
        EXPECT_EQ("100%", recorder.texts.back());
        int previous = -1;
        for (const std::string& t : recorder.texts) {
            int percent = std::stoi(t);
            ASSERT_GE(percent, previous) << t;
            ASSERT_LE(percent, 100) << t;
            previous = percent;
        }
    }
}

TEST(PercentText, RoundsHalvesUpAndHandlesEmptyFiles) {
    struct {
        int64_t position, length;
        const char* text;
    } cases[] = {
        {0, 0, "0%"},
        {0, -1, "0%"},
        {0, 1, "0%"},
        {131072, 131073, "100%"},
        {1, 8, "13%"},
        {3, 8, "38%"},
        {7, 8, "88%"},
        {1, 3, "33%"},
        {2, 3, "67%"},
        {int64_t(3) << 30, int64_t(4) << 30, "75%"},
        {int64_t(5) << 30, int64_t(10) << 30, "50%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, PercentText(c.position, c.length)) << c.position << "/" << c.length;
}

// The loop builds a text only when the whole number changes, so the number
// must round exactly as the text does, at every half too.
TEST(PercentText, WholePercentIsTheNumberTheTextShows) {
    for (int64_t length : {int64_t(1), int64_t(8), int64_t(200), int64_t(1000), int64_t(131073),
                           (int64_t(5) << 30) + 100})
        for (int64_t step = 0; step <= 1000; ++step) {
            int64_t position = length * step / 1000;
            ASSERT_EQ(std::stoi(PercentText(position, length)), WholePercent(position, length))
                << position << "/" << length;
        }
}

TEST(FileEntryText, BuildsAndSplitsTheFirstColumn) {
    struct {
        const char* path;
        const char* rowText;
        const char* displayName;
    } cases[] = {
        {"C:\\dir\\a.bin", "a.bin > C:\\dir\\a.bin\n\nWaiting", "a.bin"},
        {"a.bin", "a.bin > a.bin\n\nWaiting", "a.bin"},
        {"C:\\dir\\  spaced.bin", "  spaced.bin > C:\\dir\\  spaced.bin\n\nWaiting", "spaced.bin"},
        {"Z:\\tmp\\x y\\Track 01.mp3", "Track 01.mp3 > Z:\\tmp\\x y\\Track 01.mp3\n\nWaiting",
         "Track 01.mp3"},
        {"C:\\dir\\", " > C:\\dir\\\n\nWaiting", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string text = WaitingEntryText(c.path);
        EXPECT_EQ(c.rowText, text);
        std::string column0 = text.substr(0, text.find('\n'));
        EXPECT_EQ(c.path, FullPathOfColumnText(column0));
        EXPECT_EQ(c.displayName, DisplayNameOfColumnText(column0));
    }
}

} // namespace
