#include "checksum/guarded_page_test_support.h"

#include <windows.h>

namespace {
constexpr size_t kUsable = 65536;
}

GuardedPage::GuardedPage() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    size_t size = kUsable + info.dwPageSize;
    auto* bytes = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (bytes == nullptr)
        return;
    DWORD old = 0;
    if (!VirtualProtect(bytes + kUsable, info.dwPageSize, PAGE_NOACCESS, &old)) {
        VirtualFree(bytes, 0, MEM_RELEASE);
        return;
    }
    base_ = bytes;
    end_ = bytes + kUsable;
    size_ = size;
}

GuardedPage::~GuardedPage() {
    if (base_ != nullptr)
        VirtualFree(base_, 0, MEM_RELEASE);
}
