// The limit of this build under Wine for many small files: one Windows
// process that opens, reads, checksums and closes each file, nothing else.
//
//     small_files_loop.exe FOLDER COUNT RUNS
//
// Reads FOLDER\0000.bin to FOLDER\(COUNT-1).bin in order, in 131072-byte
// reads through the program's CRC-32 engine, RUNS times, and prints the best
// run's seconds (from the first open to the last close) and the sum of the
// checksums, the way the small-files bench prints the other readers.
#include "checksum/crc32.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: small_files_loop FOLDER COUNT RUNS\n");
        return 2;
    }
    std::vector<std::string> paths;
    for (int n = 0; n < std::atoi(argv[2]); ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "\\%04d.bin", n);
        paths.push_back(std::string(argv[1]) + name);
    }
    std::vector<unsigned char> block(131072);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    uint32_t sum = 0;
    for (int run = 0; run < std::atoi(argv[3]); ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        sum = 0;
        for (const std::string& path : paths) {
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                std::fprintf(stderr, "cannot open %s\n", path.c_str());
                return 1;
            }
            uint32_t running = kCrc32Start;
            DWORD got = 0;
            while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) &&
                   got > 0)
                running = Crc32Update(block.data(), got, running);
            CloseHandle(file);
            sum += running ^ 0xFFFFFFFFu;
        }
        QueryPerformanceCounter(&end);
        double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        best = seconds < best ? seconds : best;
    }
    std::printf("seconds=%.6f sum=%08X\n", best, static_cast<unsigned>(sum));
    return 0;
}
