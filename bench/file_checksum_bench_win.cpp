// Checksums a cached file in one process the way the checksum worker does
// (its block source, 131072-byte blocks, the CRC-32 engine), and beside it
// plain ReadFile calls of 128 KiB and of 1 MiB alone (the cost of reading the
// file) and plain ReadFile calls into zlib's crc32 (a peer).
// Prints the best of several passes in GB/s. The file should already be in
// the system's cache.
//
//   file_checksum_bench.exe FILE
#include "checksum/checksum_loop.h"
#include "checksum/chunked_source_win.h"
#include "checksum/crc32.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>

namespace {

constexpr int32_t kBlock = 131072;
constexpr int32_t kLargeRead = 1 << 20;
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
    uintptr_t file = OpenFileForReading(0, path);
    if (file == 0)
        return 0;
    ChecksumOutcome outcome = {false, 0, 0};
    {
        ChunkedFileSource source(file, path);
        NoProgress progress;
        outcome = ChecksumBlocks(source, block, kBlock, progress);
    }
    CloseFileNumber(0);
    *size = outcome.bytesChecked;
    return outcome.checksum;
}

uint32_t Plain(const char* path, unsigned char* block, DWORD size, bool withZlib, int64_t* total) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    uLong crc = crc32(0L, Z_NULL, 0);
    DWORD got = 0;
    *total = 0;
    while (ReadFile(file, block, size, &got, nullptr) && got > 0) {
        if (withZlib)
            crc = crc32(crc, block, got);
        *total += got;
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
    auto* block = static_cast<unsigned char*>(AllocateBlock(kLargeRead));

    struct Way {
        const char* name;
        double best;
        uint32_t checksum;
    } ways[] = {
        {"the worker's reader + engine", 0, 0},
        {"ReadFile 128 KiB alone (reading only)", 0, 0},
        {"ReadFile 1 MiB alone (reading only)", 0, 0},
        {"ReadFile 128 KiB + zlib crc32 (peer)", 0, 0},
    };
    int64_t size = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (int w = 0; w < 4; ++w) {
            double start = Now();
            uint32_t checksum =
                w == 0 ? Worker(argv[1], block, &size)
                       : Plain(argv[1], block, w == 2 ? kLargeRead : kBlock, w == 3, &size);
            double gbps = double(size) / (Now() - start) / 1e9;
            ways[w].checksum = checksum;
            ways[w].best = gbps > ways[w].best ? gbps : ways[w].best;
        }
    }
    double reading = ways[1].best > ways[2].best ? ways[1].best : ways[2].best;
    std::printf("file of %.0f MiB, cached, best of %d passes, GB/s (share of the faster ReadFile "
                "alone)\n",
                size / 1048576.0, kPasses);
    for (const Way& way : ways)
        std::printf("  %-38s %6.2f  (%.2fx)\n", way.name, way.best, way.best / reading);
    bool agree = ways[0].checksum == ways[3].checksum;
    std::printf("  checksums %s: %s / %08X\n", agree ? "agree" : "DIFFER",
                CrcText(ways[0].checksum).c_str(), ways[3].checksum);
    return agree ? 0 : 1;
}
