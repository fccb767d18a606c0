// The block source of the checksum loop over a file opened with the
// runtime's reader: the current file's length, and one read per block. The checksum worker
// reads through it, and so does the file benchmark, so that the benchmark
// measures exactly what the worker does.
#pragma once

#include "checksum/checksum_loop.h"
#include "runtime/files_win.h"

#include <atomic>
#include <cstdint>

class OpenFileSource : public BlockSource {
  public:
    // Reads the current file. stop: when given and set, the next read fails,
    // which ends the pass at once.
    explicit OpenFileSource(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
    int64_t Length() override { return GetFileLength(); }
    int32_t Read(unsigned char* block, int32_t count) override {
        if (stop_ != nullptr && stop_->load())
            return -1;
        return ReadFileBlock(block, count);
    }

  private:
    const std::atomic<bool>* stop_;
};
