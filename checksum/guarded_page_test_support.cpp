#include "checksum/guarded_page_test_support.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr size_t kUsable = 65536;
}

GuardedPage::GuardedPage() {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = kUsable + page;
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return;
    auto* bytes = static_cast<unsigned char*>(base);
    if (mprotect(bytes + kUsable, page, PROT_NONE) != 0) {
        munmap(base, size);
        return;
    }
    base_ = bytes;
    end_ = bytes + kUsable;
    size_ = size;
}

GuardedPage::~GuardedPage() {
    if (base_ != nullptr)
        munmap(base_, size_);
}
