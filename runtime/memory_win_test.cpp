#include "runtime/memory_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <thread>

namespace {

class Blocks : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(CreateBlockHeap()); }
    void TearDown() override { DestroyBlockHeap(); }
};

bool AllZero(const void* block, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

TEST_F(Blocks, SizesBelowOneGiveNoBlock) {
    for (int32_t size : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(nullptr, AllocateBlock(size));
    }
}

TEST_F(Blocks, EveryBlockStartsZeroFilledAlsoWhenItsMemoryWasUsedBefore) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        void* block = AllocateBlock(131072);
        ASSERT_NE(nullptr, block);
        EXPECT_TRUE(AllZero(block, 131072));
        std::memset(block, 0xA5, 131072);
        FreeBlock(block);
    }
    FreeBlock(nullptr);
}

TEST_F(Blocks, DestroyingTheHeapReleasesEveryBlockAndStopsAllocation) {
    ASSERT_NE(nullptr, AllocateBlock(1000));
    void* held = AllocateBlock(1000);
    ASSERT_NE(nullptr, held);
    DestroyBlockHeap();
    EXPECT_EQ(nullptr, AllocateBlock(16));
    FreeBlock(held); // a block of the destroyed heap is ignored, not a crash
    DestroyBlockHeap();

    ASSERT_TRUE(CreateBlockHeap());
    void* block = AllocateBlock(16);
    EXPECT_NE(nullptr, block);
    FreeBlock(block);
}

// A thread that takes and releases blocks while the heap is destroyed and
// made again never meets a heap half gone (a worker that ends while a
// shutdown or a test's end tears down).
TEST_F(Blocks, BlocksReleasedWhileTheHeapIsDestroyedNeverCrash) {
    std::atomic<bool> stop{false};
    std::thread user([&stop] {
        while (!stop.load())
            FreeBlock(AllocateBlock(65536));
    });
    bool made = true;
    for (int round = 0; round < 5000; ++round) {
        DestroyBlockHeap();
        made = CreateBlockHeap() && made;
    }
    stop.store(true);
    user.join();
    EXPECT_TRUE(made);
}

} // namespace
