// The block source of the checksum loop over a file opened with the
// runtime's reader: the current file's length, and one read per block; each
// read's end is told to a prefetcher, when there is one. The checksum worker
// reads through it, and so does the file benchmark, so that the benchmark
// measures exactly what the worker does.
#pragma once

#include "checksum/checksum_loop.h"
#include "checksum/prefetch_win.h"
#include "runtime/files_win.h"

#include <atomic>
#include <cstdint>

class OpenFileSource : public BlockSource {
  public:
    // Reads the current file. stop: when given and set, the next read fails,
    // which ends the pass at once. prefetcher: when given, learns where the
    // reading stands after every read.
    explicit OpenFileSource(const std::atomic<bool>* stop = nullptr,
                            FilePrefetcher* prefetcher = nullptr)
        : stop_(stop), prefetcher_(prefetcher) {}
    int64_t Length() override { return GetFileLength(); }
    int32_t Read(unsigned char* block, int32_t count) override {
        if (stop_ != nullptr && stop_->load())
            return -1;
        int32_t got = ReadFileBlock(block, count);
        if (got > 0 && prefetcher_ != nullptr) {
            position_ += got;
            prefetcher_->ReaderAt(position_);
        }
        return got;
    }

  private:
    const std::atomic<bool>* stop_;
    FilePrefetcher* prefetcher_;
    int64_t position_ = 0;
};
