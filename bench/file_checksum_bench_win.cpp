// Checksums a cached file in one process the way the checksum worker does
// (the runtime's file reader, 131072-byte blocks, the CRC-32 engine), and
// beside it plain ReadFile calls alone (the cost of reading the file) and
// plain ReadFile calls into zlib's crc32 (a peer).
// Prints the best of several passes in GB/s. The file should already be in
// the system's cache.
//
//   file_checksum_bench.exe FILE
#include "checksum/checksum_loop.h"
#include "checksum/crc32.h"
#include "checksum/file_source_win.h"
#include "checksum/prefetch_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>

namespace {

constexpr int32_t kBlock = 131072;
constexpr int kPasses = 5;

struct NoProgress : ProgressSink {
    void Progress(const std::string&) override {}
};

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// One pass of each way of reading; returns the checksum, or 0 on failure.
uint32_t Worker(const char* path, unsigned char* block, int64_t* size) {
    if (OpenFileForReading(0, path) == 0)
        return 0;
    FilePrefetcher prefetcher(path, nullptr);
    OpenFileSource source(nullptr, &prefetcher);
    NoProgress progress;
    ChecksumOutcome outcome = ChecksumBlocks(source, block, kBlock, progress);
    CloseFileNumber(0);
    *size = outcome.bytesChecked;
    return outcome.checksum;
}

uint32_t Plain(const char* path, unsigned char* block, bool withZlib, int64_t* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    uLong crc = crc32(0L, Z_NULL, 0);
    DWORD got = 0;
    *size = 0;
    while (ReadFile(file, block, kBlock, &got, nullptr) && got > 0) {
        if (withZlib)
            crc = crc32(crc, block, got);
        *size += got;
    }
    CloseHandle(file);
    return static_cast<uint32_t>(crc);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: file_checksum_bench FILE\n");
        return 2;
    }
    InitFileTable();
    CreateBlockHeap();
    auto* block = static_cast<unsigned char*>(AllocateBlock(kBlock));

    struct Way {
        const char* name;
        double best;
        uint32_t checksum;
    } ways[] = {
        {"the worker's reader + engine", 0, 0},
        {"ReadFile alone (reading only)", 0, 0},
        {"ReadFile + zlib crc32 (peer)", 0, 0},
    };
    int64_t size = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (int w = 0; w < 3; ++w) {
            double start = Now();
            uint32_t checksum =
                w == 0 ? Worker(argv[1], block, &size) : Plain(argv[1], block, w == 2, &size);
            double gbps = double(size) / (Now() - start) / 1e9;
            ways[w].checksum = checksum;
            ways[w].best = gbps > ways[w].best ? gbps : ways[w].best;
        }
    }
    std::printf("file of %.0f MiB, cached, best of %d passes, GB/s (share of ReadFile alone)\n",
                size / 1048576.0, kPasses);
    for (const Way& way : ways)
        std::printf("  %-36s %6.2f  (%.2fx)\n", way.name, way.best, way.best / ways[1].best);
    bool agree = ways[0].checksum == ways[2].checksum;
    std::printf("  checksums %s: %s / %08X\n", agree ? "agree" : "DIFFER",
                CrcText(ways[0].checksum).c_str(), ways[2].checksum);
    return agree ? 0 : 1;
}
