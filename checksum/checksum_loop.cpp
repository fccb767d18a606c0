#include "checksum/checksum_loop.h"

#include "checksum/crc32.h"
#include "runtime/text.h"

std::string PercentText(int64_t position, int64_t length) {
    // The share is computed in floating point and kept in single precision,
    // the form the percentages have always had.
    float progress = 0.0f;
    if (length > 0)
        progress =
            static_cast<float>(static_cast<double>(position) / static_cast<double>(length) * 100.0);
    return ConcatText(FormatDecimal(progress, 0), "%");
}

ChecksumOutcome ChecksumBlocks(BlockSource& source, unsigned char* block, int32_t blockSize,
                               ProgressSink& progress) {
    ChecksumOutcome outcome = {false, 0, 0};
    if (block == nullptr || blockSize <= 0)
        return outcome;
    uint32_t running = kCrc32Start;
    int64_t length = 0;
    do {
        int64_t position = source.Position();
        length = source.Length();
        if (position < 0 || length < 0)
            return outcome;
        int64_t remaining = length - position;
        if (remaining < 0)
            return outcome; // the file shrank below what was already read
        int32_t count = remaining >= blockSize ? blockSize : static_cast<int32_t>(remaining);
        int32_t got = source.Read(block, count);
        if (got != count)
            return outcome; // a short or failed read before the end
        running = Crc32Update(block, static_cast<size_t>(count), running);
        outcome.bytesChecked += count;
        progress.Progress(PercentText(position, length));
    } while (!source.AtEnd());

    // The end test also stops at a failed read, and a file may shrink after
    // its last block was read: only a pass that took in exactly the bytes the
    // file now holds counts.
    int64_t finalLength = source.Length();
    if (finalLength < 0 || outcome.bytesChecked != finalLength)
        return outcome;
    outcome.complete = true;
    outcome.checksum = running ^ 0xFFFFFFFFu;
    return outcome;
}
