// Checksums a file the way the checksum worker does (the runtime's file
// reader, 131072-byte blocks, the end test after each block) and, as a peer in
// the same run, with plain ReadFile calls into zlib's crc32. Prints the best
// of several passes in GB/s. The file should already be in the system's cache.
//
//   file_checksum_bench.exe FILE
#include "checksum/checksum_loop.h"
#include "checksum/crc32.h"
#include "checksum/file_source_win.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int32_t kBlock = 131072;
constexpr int kPasses = 5;

struct NoProgress : ProgressSink {
    void Progress(const std::string&) override {}
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
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

    double bestOurs = 0, bestZlib = 0;
    uint32_t ours = 0, theirs = 0;
    int64_t size = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (OpenFileForReading(0, argv[1]) == 0) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 1;
        }
        OpenFileSource reader;
        NoProgress progress;
        ChecksumOutcome outcome = ChecksumBlocks(reader, block, kBlock, progress);
        CloseFileNumber(0);
        QueryPerformanceCounter(&end);
        size = outcome.bytesChecked;
        ours = outcome.checksum;
        double gbps = double(size) / Seconds(start, end) / 1e9;
        bestOurs = gbps > bestOurs ? gbps : bestOurs;

        QueryPerformanceCounter(&start);
        HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        uLong crc = crc32(0L, Z_NULL, 0);
        DWORD got = 0;
        while (ReadFile(file, block, kBlock, &got, nullptr) && got > 0)
            crc = crc32(crc, block, got);
        CloseHandle(file);
        QueryPerformanceCounter(&end);
        theirs = static_cast<uint32_t>(crc);
        gbps = double(size) / Seconds(start, end) / 1e9;
        bestZlib = gbps > bestZlib ? gbps : bestZlib;
    }
    std::printf("file of %.0f MiB, cached, best of %d passes (GB/s)\n", size / 1048576.0, kPasses);
    std::printf("  %-34s %6.2f  (%.2fx the peer)\n", "checksum worker's reader + engine", bestOurs,
                bestOurs / bestZlib);
    std::printf("  %-34s %6.2f\n", "ReadFile + zlib crc32 (peer)", bestZlib);
    std::printf("  checksums %s: %s / %08X\n", ours == theirs ? "agree" : "DIFFER",
                CrcText(ours).c_str(), theirs);
    return ours == theirs ? 0 : 1;
}
