// Every kernel of the table, and Crc32Update, against the byte-wise reference,
// over data cut into pieces at places the input chooses. Each piece lives in
// an allocation of its own size, so that the sanitizer sees any read past it.
#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"
#include "runtime/fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    uint32_t start = in.ConsumeBool() ? kCrc32Start : in.ConsumeIntegral<uint32_t>();
    std::vector<size_t> cuts(in.ConsumeIntegralInRange<size_t>(0, 6));
    for (size_t& cut : cuts)
        cut = in.ConsumeIntegralInRange<size_t>(0, 600);
    std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();

    std::vector<std::vector<uint8_t>> pieces;
    size_t at = 0;
    for (size_t cut : cuts) {
        size_t length = std::min(cut, bytes.size() - at);
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + at + length);
        at += length;
    }
    pieces.emplace_back(bytes.begin() + at, bytes.end());

    uint32_t expected = Crc32UpdateBytewise(bytes.data(), bytes.size(), start);
    auto check = [&](Crc32Kernel update) {
        uint32_t running = start;
        for (const auto& piece : pieces)
            running = update(piece.data(), piece.size(), running);
        FUZZ_CHECK(running == expected);
    };
    for (size_t i = 0; i < Crc32KernelCount; ++i)
        if (Crc32Kernels[i].available())
            check(Crc32Kernels[i].update);
    check(Crc32Update);
    return 0;
}
