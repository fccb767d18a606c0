// The block source of the checksum loop over a file opened with the
// runtime's reader: the current file's position and length, one read per
// block, and the one-byte end test on the file's number. The checksum worker
// reads through it, and so does the file benchmark, so that the benchmark
// measures exactly what the worker does.
#pragma once

#include "checksum/checksum_loop.h"
#include "runtime/files_win.h"

#include <atomic>
#include <cstdint>

class OpenFileSource : public BlockSource {
  public:
    // number: the file number the file was opened under. stop: when given and
    // set, the next read fails, which ends the pass at once.
    explicit OpenFileSource(int32_t number, const std::atomic<bool>* stop = nullptr)
        : number_(number), stop_(stop) {}
    int64_t Position() override { return GetFilePosition(); }
    int64_t Length() override { return GetFileLength(); }
    int32_t Read(unsigned char* block, int32_t count) override {
        if (stop_ != nullptr && stop_->load())
            return -1;
        return count == 0 ? 0 : ReadFileBlock(block, count);
    }
    bool AtEnd() override { return IsAtEndOfFile(number_) != 0; }

  private:
    int32_t number_;
    const std::atomic<bool>* stop_;
};
