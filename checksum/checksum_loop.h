// Reading one file through the CRC-32 engine, block by block, with progress.
//
// The loop takes the file's position and length afresh before every block,
// reads the block, feeds it to the engine and reports the share read before
// that block as a whole percentage ("0%", "13%", ...). It goes on until the
// source reports the end, so an empty file still gets one pass over 0 bytes.
//
// A checksum is only ever reported for the whole file: a read that delivers
// fewer bytes than asked before the end, a length that has fallen below the
// position (the file shrank underneath us), a source that cannot tell its
// position or length, and an end reached with another number of bytes
// checksummed than the file then holds all end the pass as incomplete. Positions and lengths are
// 64-bit, so files of any size are read whole.
#pragma once

#include <cstdint>
#include <string>

// The file being read, as the loop sees it.
class BlockSource {
  public:
    virtual ~BlockSource() = default;
    // The offset of the next read, or -1 when it cannot be told.
    virtual int64_t Position() = 0;
    // The file's length now, or -1 when it cannot be told.
    virtual int64_t Length() = 0;
    // Reads count bytes (0 or more) into block; returns how many arrived.
    virtual int32_t Read(unsigned char* block, int32_t count) = 0;
    // Whether no further byte can be read (also after a failed test read).
    virtual bool AtEnd() = 0;
};

// Told the progress text after every block.
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
