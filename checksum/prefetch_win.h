// A second stream of reads for a file that comes from disk.
//
// A disk, and a virtual one above all, delivers more to two streams of reads
// at once than to one. While the checksum worker reads its file in order, the
// prefetcher reads a stretch further on through a handle of its own and
// throws the bytes away: they stay in the system's file cache, where the
// worker finds them when it gets there. The worker's own reads, and so its
// checksum, are the same with or without it.
//
// The prefetcher keeps between kGap and kGap + kWindow bytes ahead of the
// position the worker last reported, so that the worker's own stream always
// has a stretch to itself and the cache holds little more than the window.
// It starts only once the worker's reading has turned out slow (the file does
// not come from the cache): for a cached file it would only copy every byte a
// second time. And it stays only if the worker then reads faster: a disk
// whose head must jump between two places (a spinning one) may well deliver
// less to two streams than to one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class FilePrefetcher {
  public:
    // For the file at path. While its thread runs, the thread's handle is kept
    // in *threadHandle, so that a shutdown can stop it; it is taken out again
    // before the handle is closed.
    FilePrefetcher(const std::string& path, std::atomic<uintptr_t>* threadHandle);
    // Stops the thread and waits for it.
    ~FilePrefetcher();
    FilePrefetcher(const FilePrefetcher&) = delete;
    FilePrefetcher& operator=(const FilePrefetcher&) = delete;

    // The worker has read up to position. Starts the thread when the last
    // stretch came in slowly.
    void ReaderAt(int64_t position);

    // Below this speed (bytes per second), reading counts as slow. Tests set
    // 0 to have every file prefetched, or a huge value to have none.
    static std::atomic<double> SlowBelow;

    struct Shared;

  private:
    std::string path_;
    std::atomic<uintptr_t>* published_;
    Shared* shared_ = nullptr;
    void* thread_ = nullptr;
    int64_t measuredFrom_ = 0;
    int64_t measuredSince_ = 0; // performance counter at measuredFrom_
    double speedAlone_ = 0;     // bytes per second before the thread started
    bool judged_ = false;       // whether the thread has proved its worth yet
};
