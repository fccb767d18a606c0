// Prints the throughput of each CRC-32 kernel and of zlib's crc32() over the
// same buffers, and the ratio to zlib. Best of several runs, in GB/s.
#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestGigabytesPerSecond(const std::vector<unsigned char>& data, size_t block, F&& f,
                              uint32_t* sink) {
    const size_t totalPerRun = size_t(1) << 30; // about 1 GiB per measurement
    size_t rounds = totalPerRun / data.size();
    if (rounds == 0)
        rounds = 1;
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        auto start = Clock::now();
        uint32_t acc = 0;
        for (size_t r = 0; r < rounds; ++r)
            for (size_t at = 0; at < data.size(); at += block)
                acc ^= f(data.data() + at, block);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        *sink ^= acc;
        double gbps = double(rounds) * double(data.size()) / seconds / 1e9;
        if (gbps > best)
            best = gbps;
    }
    return best;
}

} // namespace

int main() {
    const size_t block = 131072; // the block the checksum worker reads
    std::vector<unsigned char> data(block);
    std::mt19937 rng(1);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());

    uint32_t sink = 0;
    double zlib = BestGigabytesPerSecond(
        data, block,
        [](const unsigned char* p, size_t n) {
            return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(n)));
        },
        &sink);
    std::printf("CRC-32 over one %zu-byte block, hot in cache (best of 5, GB/s)\n", block);
    std::printf("  %-28s %7.2f  (1.00x)\n", "zlib crc32()", zlib);
    for (size_t i = 0; i < Crc32KernelCount; ++i) {
        const Crc32KernelEntry& k = Crc32Kernels[i];
        if (!k.available())
            continue;
        auto kernel = k.update;
        double gbps = BestGigabytesPerSecond(
            data, block,
            [kernel](const unsigned char* p, size_t n) {
                return kernel(p, n, kCrc32Start) ^ 0xFFFFFFFFu;
            },
            &sink);
        std::printf("  %-28s %7.2f  (%.2fx zlib)\n", k.name, gbps, gbps / zlib);
    }
    std::printf("Crc32Update uses: %s\n", Crc32KernelName());
    return sink == 0xDEADBEEF ? 1 : 0; // keeps the work from being optimised away
}
