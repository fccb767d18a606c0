#include "checksum/prefetch_win.h"

#include <windows.h>

#include <vector>

namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kGap = 32 * kMiB;     // the worker's own stretch
constexpr int64_t kWindow = 128 * kMiB; // how far beyond that the prefetcher goes
constexpr int64_t kStretch = 32 * kMiB; // the worker's speed is judged per stretch
constexpr int64_t kTrial = 128 * kMiB;  // how far the worker reads before the thread is judged
constexpr double kWorthIt = 1.25;       // how much faster the thread must make it
constexpr DWORD kRead = 1 << 20;        // one read of the prefetcher

int64_t Counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CounterSeconds(int64_t ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(ticks) / double(frequency.QuadPart);
}

} // namespace

std::atomic<double> FilePrefetcher::SlowBelow{3e9};

// What the worker and the thread share; owned by the prefetcher object.
struct FilePrefetcher::Shared {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::atomic<int64_t> readerAt{0};
    std::atomic<bool> stop{false};
};

namespace {

DWORD WINAPI Prefetch(LPVOID parameter) {
    auto& s = *static_cast<FilePrefetcher::Shared*>(parameter);
    std::vector<char> scratch(kRead);
    int64_t fetchedTo = 0;
    while (!s.stop.load()) {
        int64_t reader = s.readerAt.load();
        if (fetchedTo < reader + kGap)
            fetchedTo = reader + kGap; // never read what the worker reads itself
        if (fetchedTo >= reader + kGap + kWindow) {
            Sleep(1); // far enough ahead: wait for the worker
            continue;
        }
        LARGE_INTEGER at;
        at.QuadPart = fetchedTo;
        DWORD got = 0;
        if (!SetFilePointerEx(s.file, at, nullptr, FILE_BEGIN) ||
            !ReadFile(s.file, scratch.data(), kRead, &got, nullptr) || got == 0)
            break; // the end of the file, or it cannot be read: nothing more to do
        fetchedTo += got;
    }
    return 0;
}

} // namespace

FilePrefetcher::FilePrefetcher(const std::string& path, std::atomic<uintptr_t>* threadHandle)
    : path_(path), published_(threadHandle), measuredSince_(Counter()) {}

FilePrefetcher::~FilePrefetcher() {
    if (thread_ != nullptr) {
        shared_->stop.store(true);
        WaitForSingleObject(thread_, INFINITE);
        // Taken out of view before it is closed, so that nobody stops a
        // thread through a handle that no longer names it.
        if (published_ != nullptr)
            published_->store(0);
        CloseHandle(thread_);
    }
    if (shared_ != nullptr && shared_->file != INVALID_HANDLE_VALUE)
        CloseHandle(shared_->file);
    delete shared_;
}

void FilePrefetcher::ReaderAt(int64_t position) {
    if (shared_ != nullptr) {
        shared_->readerAt.store(position);
        if (judged_ || position - measuredFrom_ < kTrial)
            return;
        // The trial is over: with the thread, reading must have become faster.
        double seconds = CounterSeconds(Counter() - measuredSince_);
        double speed = seconds > 0 ? double(position - measuredFrom_) / seconds : 1e300;
        judged_ = true;
        if (speed < speedAlone_ * kWorthIt)
            shared_->stop.store(true); // the thread ends by itself
        return;
    }
    if (position - measuredFrom_ < kStretch)
        return;
    int64_t now = Counter();
    double seconds = CounterSeconds(now - measuredSince_);
    double speed = seconds > 0 ? double(position - measuredFrom_) / seconds : 1e300;
    measuredFrom_ = position;
    measuredSince_ = now;
    if (speed >= SlowBelow.load())
        return;
    speedAlone_ = speed;

    // Slow: the file comes from disk. A handle of its own, so that the
    // worker's position in the file stays the worker's.
    shared_ = new Shared;
    shared_->readerAt.store(position);
    shared_->file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (shared_->file == INVALID_HANDLE_VALUE)
        return;
    thread_ = CreateThread(nullptr, 4096, Prefetch, shared_, 0, nullptr);
    if (thread_ != nullptr && published_ != nullptr)
        published_->store(reinterpret_cast<uintptr_t>(thread_));
}
