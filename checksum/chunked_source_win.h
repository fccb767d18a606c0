// How the checksum worker reads one file: the block source of its loop.
//
// Small files, and files where a read may hang or fail in odd ways (network
// shares, removable and CD-ROM drives, anything that is not a plain disk
// file), are read as they always were: one 131072-byte read per block, in
// order, through the worker's handle.
//
// A large file on a local drive is read in chunks of ChunkBytes, each with
// large reads and summed into a CRC of its own. A helping thread, with a
// handle of its own to the same file, takes chunks too: whoever is free
// claims the next chunk nobody has claimed, at most a few chunks beyond the
// one the worker needs next, so the two streams of reads stay close. The
// worker joins the chunks' CRCs to its running value in file order
// (Crc32Combine). So the copy out of the system's cache and the CRC are
// spread over two cores for a cached file, and a file on disk gets two
// streams of reads. The percentages stay those of the 131072-byte blocks, in
// order; those of a chunk go by once the chunk is joined.
//
// The worker reads the first chunks alone and times them (unless the file
// before came fast with the helper: then the helper starts at once, and its
// first stretch is timed as below). When they came
// faster than any spinning disk delivers (from the cache, or from a disk
// without a head that moves), the helper starts and stays for as long as the
// reading stays that fast: a file whose first part was cached and whose rest
// comes slowly puts the helper on trial from then on. When they came
// slowly, the helper starts on trial: the worker times a stretch with it and
// then one alone again, and lets it go on only if the stretch with it went
// at least a quarter faster than the two alone on average; otherwise the
// helper waits, paused, for the next trial a while later. A disk whose head
// must jump between two places (a spinning one) may deliver less to two
// streams than to one.
//
// The worker never waits for the helper without a bound: when the chunk it
// needs is the helper's, and the helper's reading has not moved for a while,
// it reads that chunk itself and gives the helper up for the rest of the
// file. At the end the helper is asked to stop and given a moment; one that
// is still stuck in a read then is let go, and frees what it holds when the
// read returns. The checksum never depends on the helper: whatever it does
// not deliver, the worker reads itself.
#pragma once

#include "checksum/checksum_loop.h"

#include <atomic>
#include <cstdint>
#include <string>

class ChunkedFileSource : public BlockSource {
  public:
    // The block this source is read in; chunks are whole blocks.
    static constexpr int32_t kBlockBytes = 131072;

    // Reads the file open under handle (the worker's file, opened by path),
    // in blocks of 131072 bytes. stop: when given and set, the next block
    // fails, which ends the pass.
    ChunkedFileSource(uintptr_t handle, const std::string& path,
                      const std::atomic<bool>* stop = nullptr);
    // Stops the helper, or lets it go after a moment.
    ~ChunkedFileSource();
    ChunkedFileSource(const ChunkedFileSource&) = delete;
    ChunkedFileSource& operator=(const ChunkedFileSource&) = delete;

    int64_t Length() override;
    int32_t Read(unsigned char* block, int32_t count) override;
    bool Sum(unsigned char* block, int32_t count, uint32_t* running) override;

    // Settings, for tests and benchmarks; each file takes them as they are
    // when it starts. Files from ChunkFrom bytes on are read in chunks of
    // ChunkBytes (rounded down to whole blocks). Reading slower than
    // SlowBelow bytes a second (1 GB/s, more than a spinning disk delivers)
    // may come from a disk that must not be made to seek.
    static std::atomic<int64_t> ChunkFrom;
    static std::atomic<int32_t> ChunkBytes;
    static std::atomic<double> SlowBelow;
    // Test hook: when set, the helper calls it before it reads each chunk,
    // with the chunk's number.
    static std::atomic<void (*)(int64_t chunk)> BeforeHelperChunk;
    // How many files were read in chunks, for how many a helper started, and
    // how many trials of a helper were held.
    static std::atomic<int32_t> FilesChunked;
    static std::atomic<int32_t> HelpersStarted;
    static std::atomic<int32_t> TrialsHeld;
    // While set, a file read in chunks waits before each chunk (up to 2 s
    // at a time) and its helper claims none: the window thread holds the
    // reading while another process hands over paths, so that on a machine
    // of two cores the hand-off is not left what two busy readers leave it.
    static std::atomic<bool> HoldReading;
    // Whether the last file judged came fast with the helper; the next
    // file's helper then starts with its first chunk.
    static std::atomic<bool> LastCameFast;

    struct Chunks;

  private:
    enum class Stage { kAlone, kHelped, kPausing, kAloneAgain, kSettled };

    bool JoinChunk(int64_t chunk, uint32_t* running);
    void Judge();
    void WaitWhileHeld();
    void Pause(bool paused);
    double SpeedSince(int64_t chunk) const;
    void StartHelper();
    void GiveUpHelper();

    void* file_;
    const std::atomic<bool>* stop_;
    int64_t position_ = 0;
    // Reading in chunks; chunkedEnd_ is 0 for a file read block by block.
    Chunks* chunks_ = nullptr;
    int64_t chunkedEnd_ = 0; // the length when the file was opened
    int64_t chunk_ = -1;     // the chunk joined last
    unsigned char* buffer_ = nullptr;
    // The helper, and how the worker judges it.
    void* helperThread_ = nullptr;
    bool helping_ = false; // a helper runs and its chunks are waited for
    bool onTrial_ = false; // the file came slowly: the helper is judged again and again
    Stage stage_ = Stage::kAlone;
    Stage pausedFor_ = Stage::kAlone; // the stage that follows pausing
    int64_t stageFrom_ = 1;           // the chunk where the stage's timing begins
    int64_t stageSince_ = 0;          // performance counter then
    int64_t settledAt_ = 0;           // the chunk of the last decision
    double speedAlone_ = 0;           // bytes a second
    double speedHelped_ = 0;
};
