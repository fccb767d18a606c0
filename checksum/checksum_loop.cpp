#include "checksum/checksum_loop.h"

#include "checksum/crc32.h"
#include "runtime/text.h"

#include <cmath>

namespace {

// The share is computed in floating point and kept in single precision, the
// form the percentages have always had.
float Progress(int64_t position, int64_t length) {
    if (length <= 0)
        return 0.0f;
    return static_cast<float>(static_cast<double>(position) / static_cast<double>(length) * 100.0);
}

} // namespace

bool BlockSource::Sum(unsigned char* block, int32_t count, uint32_t* running) {
    if (Read(block, count) != count)
        return false;
    *running = Crc32Update(block, static_cast<size_t>(count), *running);
    return true;
}

std::string PercentText(int64_t position, int64_t length) {
    return ConcatText(FormatDecimal(Progress(position, length), 0), "%");
}

int32_t WholePercent(int64_t position, int64_t length) {
    // A float's value plus one half is exact in double precision, so this
    // rounds exactly as FormatDecimal does, halves upward.
    return static_cast<int32_t>(std::floor(static_cast<double>(Progress(position, length)) + 0.5));
}

ChecksumOutcome ChecksumBlocks(BlockSource& source, unsigned char* block, int32_t blockSize,
                               ProgressSink& progress) {
    ChecksumOutcome outcome = {false, 0, 0};
    if (block == nullptr || blockSize <= 0)
        return outcome;
    int64_t length = source.Length();
    if (length < 0)
        return outcome;
    uint32_t running = kCrc32Start;
    int64_t position = 0;
    int32_t shown = -1;
    for (;;) {
        int64_t remaining = length - position;
        int32_t count = remaining >= blockSize ? blockSize : static_cast<int32_t>(remaining);
        if (count > 0 && !source.Sum(block, count, &running))
            return outcome; // a read error, or the file was cut short
        int32_t percent = WholePercent(position, length);
        if (percent != shown) {
            progress.Progress(PercentText(position, length));
            shown = percent;
        }
        position += count;
        outcome.bytesChecked = position;
        if (position < length)
            continue;
        // At the end as it was known: the file may have changed meanwhile.
        length = source.Length();
        if (length == position)
            break;
        if (length < position)
            return outcome; // shrank below what was read, or no length at all
    }
    outcome.complete = true;
    outcome.checksum = running ^ 0xFFFFFFFFu;
    return outcome;
}
