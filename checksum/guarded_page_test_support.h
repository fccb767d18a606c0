// Memory that ends where a page without access begins, so that a test can
// prove a reader stops at the end of its buffer: one byte too far faults.
#pragma once

#include <cstddef>

class GuardedPage {
  public:
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    bool Valid() const { return base_ != nullptr; }
    // One past the last usable byte; the 64 KiB before it are usable.
    unsigned char* End() const { return end_; }

  private:
    unsigned char* base_ = nullptr;
    unsigned char* end_ = nullptr;
    size_t size_ = 0;
};
