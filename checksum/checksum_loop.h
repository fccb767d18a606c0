// Reading one file through the CRC-32 engine, block by block, with progress.
//
// The loop keeps the position itself and reads whole blocks up to the length
// the file had when the pass began. Only when it reaches that length does it
// ask for the length again: a file that grew meanwhile is read on to its new
// end, one that shrank fails. The share read before each block is reported as
// a whole percentage ("0%", "13%", ...) whenever that whole number changes;
// an empty file still gets one pass over 0 bytes and its "0%".
//
// A checksum is only ever reported for the whole file: a read that delivers
// fewer bytes than asked (a read error, or a file cut short underneath us), a
// length that falls below what was already read, and a source that cannot
// tell its length all end the pass as incomplete. Positions and lengths are
// 64-bit, so files of any size are read whole.
#pragma once

#include <cstdint>
#include <string>

// The file being read, as the loop sees it.
class BlockSource {
  public:
    virtual ~BlockSource() = default;
    // The file's length now, or -1 when it cannot be told.
    virtual int64_t Length() = 0;
    // Reads the next count bytes (count > 0) into block; returns how many
    // arrived, fewer at the end of the file or after an error.
    virtual int32_t Read(unsigned char* block, int32_t count) = 0;
    // Takes the next count bytes (count > 0) into the running CRC value; false
    // when they could not all be read, and then running may hold anything.
    // Reads them into block and sums them there, unless the source has them
    // at hand (or summed) by other means.
    virtual bool Sum(unsigned char* block, int32_t count, uint32_t* running);
};

// Told the progress text whenever the whole percentage changes.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void Progress(const std::string& percentText) = 0;
};

struct ChecksumOutcome {
    bool complete;        // the whole file went through the engine
    uint32_t checksum;    // the finished CRC-32, when complete
    int64_t bytesChecked; // how many bytes went through the engine
};

// Reads the source to its end through block, which holds blockSize bytes.
ChecksumOutcome ChecksumBlocks(BlockSource& source, unsigned char* block, int32_t blockSize,
                               ProgressSink& progress);

// The share of a file read before position, as a whole number and "%",
// rounded to the nearest with halves going up: position 131072 of 8 * 131072
// bytes is "13%". A length of 0 (or less) gives "0%".
std::string PercentText(int64_t position, int64_t length);

// The whole number that PercentText shows, without building the text.
int32_t WholePercent(int64_t position, int64_t length);
