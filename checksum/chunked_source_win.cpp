#include "checksum/chunked_source_win.h"

#include "checksum/crc32.h"
#include "runtime/files_win.h"

#include <windows.h>

#include <new>
#include <vector>

namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int32_t kBlock = ChunkedFileSource::kBlockBytes;
constexpr DWORD kRead = 1 << 20;     // one large read
constexpr int64_t kWindow = 4;       // chunks claimed at most, from the one the worker needs on
constexpr int64_t kTimedChunks = 4;  // chunks timed alone, with a helper on trial, and alone again
constexpr int64_t kSettleChunks = 1; // chunks read a new way before that way is timed
constexpr int64_t kTrialEvery = 64;  // chunks between the trials of a helper on trial
constexpr double kWorthIt = 1.25;    // how much faster a helper on trial must make it
constexpr DWORD kStallMs = 500;      // a helper whose reading stands still this long is given up
constexpr DWORD kLetGoMs = 100;      // how long the end of a file waits for the helper to stop
constexpr DWORD kHeldMs = 2000;      // how long the worker waits at most while reading is held

// A summed chunk is its number and its CRC in one value, so that nobody
// ever reads the one without the other.
static_assert(std::atomic<uint64_t>::is_always_lock_free, "summed chunks need 64-bit atomics");

int64_t Counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

bool Stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

// Up to count bytes from offset on; how many arrived (0 on an error). A move
// and a plain read: under Wine, a read given its offset (in an OVERLAPPED)
// on a handle without FILE_FLAG_OVERLAPPED goes at half the speed.
DWORD ReadAt(HANDLE file, int64_t offset, unsigned char* into, DWORD count) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD got = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        !ReadFile(file, into, count, &got, nullptr))
        return 0;
    return got;
}

// Reading in chunks, with a helper, only for a plain file on a local drive:
// on a network share, a removable or a CD-ROM drive, or from a pipe, a read
// may hang or fail in ways best met one read at a time, as always.
bool IsLocalDiskFile(const std::string& path, HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK)
        return false;
    uint32_t type = DriveTypeOfPath(path);
    return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
}

} // namespace

std::atomic<int64_t> ChunkedFileSource::ChunkFrom{16 * kMiB};
std::atomic<int32_t> ChunkedFileSource::ChunkBytes{16 * kMiB};
// Well above a spinning disk, and well below a cached file even on a busy
// machine: a cached file of this machine, read alone while other programs
// kept both cores busy, came at 1.6 to 7 GB/s over stretches of four chunks.
std::atomic<double> ChunkedFileSource::SlowBelow{1e9};
std::atomic<void (*)(int64_t)> ChunkedFileSource::BeforeHelperChunk{nullptr};
std::atomic<int32_t> ChunkedFileSource::FilesChunked{0};
std::atomic<int32_t> ChunkedFileSource::HelpersStarted{0};
std::atomic<int32_t> ChunkedFileSource::TrialsHeld{0};
std::atomic<bool> ChunkedFileSource::LastCameFast{false};
std::atomic<bool> ChunkedFileSource::HoldReading{false};

// The chunks of one file, shared by the worker and its helper. Each holds a
// reference; the last to let go frees it, so a helper that was let go in the
// middle of a read still finds everything when the read returns.
struct ChunkedFileSource::Chunks {
    std::atomic<int> owners{1};
    HANDLE file = INVALID_HANDLE_VALUE; // the helper's own handle to the file
    HANDLE moved = nullptr;             // set when the worker moves on, or on stop
    HANDLE delivered = nullptr;         // set when a chunk is summed, or the helper ends
    int64_t bytes = 0;                  // per chunk; the last one may be shorter
    int64_t length = 0;                 // the file's, when it was opened
    int64_t count = 0;
    std::atomic<int64_t> next{0};   // the first chunk that nobody has claimed
    std::atomic<int64_t> needed{0}; // the chunk the worker joins next
    // Chunk n, once summed: (n + 1) << 32 | its CRC, at [n % kWindow].
    std::atomic<uint64_t> summed[kWindow] = {};
    std::atomic<uint32_t> reads{0};  // counts large reads, so that the worker sees the helper move
    std::atomic<bool> stop{false};   // for the helper
    std::atomic<bool> paused{false}; // the helper claims nothing meanwhile
    std::atomic<bool> ended{false};  // the helper has ended
    std::atomic<bool> workerWaits{false};
    std::atomic<bool> helperWaits{false};

    int64_t LengthOf(int64_t chunk) const {
        int64_t rest = length - chunk * bytes;
        return rest < bytes ? rest : bytes;
    }
};

namespace {

using Chunks = ChunkedFileSource::Chunks;

void Release(Chunks* chunks) {
    if (chunks->owners.fetch_sub(1) != 1)
        return;
    if (chunks->file != INVALID_HANDLE_VALUE)
        CloseHandle(chunks->file);
    if (chunks->moved != nullptr)
        CloseHandle(chunks->moved);
    if (chunks->delivered != nullptr)
        CloseHandle(chunks->delivered);
    delete chunks;
}

// The CRC of one chunk, read through file into buffer (kRead bytes). False
// when a read fails or comes short (the file was cut), or on stop.
bool SumChunk(HANDLE file, Chunks* chunks, int64_t chunk, unsigned char* buffer,
              const std::atomic<bool>* stop, uint32_t* crc) {
    uint32_t running = kCrc32Start;
    int64_t at = chunk * chunks->bytes;
    for (int64_t end = at + chunks->LengthOf(chunk); at < end; at += kRead) {
        auto count = static_cast<DWORD>(end - at < kRead ? end - at : kRead);
        if (Stopped(stop) || ReadAt(file, at, buffer, count) != count)
            return false;
        chunks->reads.fetch_add(1);
        running = Crc32Update(buffer, count, running);
    }
    *crc = running ^ 0xFFFFFFFFu;
    return true;
}

bool Summed(Chunks* chunks, int64_t chunk, uint32_t* crc) {
    uint64_t entry = chunks->summed[chunk % kWindow].load();
    if (entry >> 32 != uint64_t(chunk + 1))
        return false;
    *crc = static_cast<uint32_t>(entry);
    return true;
}

void Deliver(Chunks* chunks, int64_t chunk, uint32_t crc) {
    chunks->summed[chunk % kWindow].store(uint64_t(chunk + 1) << 32 | crc);
    if (chunks->workerWaits.load())
        SetEvent(chunks->delivered);
}

// Claims the next chunk that nobody has, if it lies before limit.
bool Claim(Chunks* chunks, int64_t limit, int64_t* chunk) {
    int64_t next = chunks->next.load();
    if (next >= limit || next >= chunks->count)
        return false;
    *chunk = next;
    return chunks->next.compare_exchange_strong(next, next + 1);
}

DWORD WINAPI Help(LPVOID parameter) {
    auto* c = static_cast<Chunks*>(parameter);
    auto* buffer = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kRead, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    while (buffer != nullptr && !c->stop.load() && c->next.load() < c->count) {
        int64_t chunk = 0;
        bool held = c->paused.load() || ChunkedFileSource::HoldReading.load();
        if (held || !Claim(c, c->needed.load() + kWindow, &chunk)) {
            // Paused or held, or too far ahead of the worker (or the claim
            // was lost). The worker wakes it at its next chunk.
            c->helperWaits.store(true);
            if ((held || c->next.load() >= c->needed.load() + kWindow) && !c->stop.load())
                WaitForSingleObject(c->moved, 100);
            c->helperWaits.store(false);
            continue;
        }
        if (void (*hook)(int64_t) = ChunkedFileSource::BeforeHelperChunk.load())
            hook(chunk);
        uint32_t crc = 0;
        if (!SumChunk(c->file, c, chunk, buffer, &c->stop, &crc))
            break; // stopped, or a read failed: the worker reads the chunk itself
        Deliver(c, chunk, crc);
    }
    if (buffer != nullptr)
        VirtualFree(buffer, 0, MEM_RELEASE);
    c->ended.store(true);
    SetEvent(c->delivered);
    Release(c);
    return 0;
}

// Waits for the helper to deliver chunk. False when the helper has ended
// without it, on stop, or when the helper's reading has stood still for
// kStallMs: a read that hangs must not hold up the worker.
bool WaitForHelper(Chunks* c, int64_t chunk, const std::atomic<bool>* stop) {
    uint32_t reads = c->reads.load();
    DWORD movedAt = GetTickCount();
    uint32_t crc = 0;
    for (;;) {
        c->workerWaits.store(true);
        if (Summed(c, chunk, &crc))
            break;
        if (c->ended.load() || Stopped(stop)) {
            c->workerWaits.store(false);
            return false;
        }
        WaitForSingleObject(c->delivered, 10);
        if (c->reads.load() != reads) {
            reads = c->reads.load();
            movedAt = GetTickCount();
        } else if (GetTickCount() - movedAt > kStallMs) {
            c->workerWaits.store(false);
            return false;
        }
    }
    c->workerWaits.store(false);
    return true;
}

} // namespace

ChunkedFileSource::ChunkedFileSource(uintptr_t handle, const std::string& path,
                                     const std::atomic<bool>* stop)
    : file_(reinterpret_cast<HANDLE>(handle)), stop_(stop) {
    int64_t chunkBytes = ChunkBytes.load() / kBlock * kBlock;
    LARGE_INTEGER length;
    if (chunkBytes <= 0 || !GetFileSizeEx(file_, &length) || length.QuadPart <= 0 ||
        length.QuadPart < ChunkFrom.load() || !IsLocalDiskFile(path, file_))
        return;
    buffer_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kRead, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    chunks_ = new (std::nothrow) Chunks;
    if (buffer_ == nullptr || chunks_ == nullptr)
        return;
    chunks_->bytes = chunkBytes;
    chunks_->length = length.QuadPart;
    chunks_->count = (length.QuadPart + chunkBytes - 1) / chunkBytes;
    chunkedEnd_ = length.QuadPart;
    FilesChunked.fetch_add(1);
}

ChunkedFileSource::~ChunkedFileSource() {
    if (helperThread_ != nullptr) {
        chunks_->stop.store(true);
        SetEvent(chunks_->moved);
        // A helper stuck in a read is let go: its thread ends when the read
        // returns, and frees what it holds itself.
        WaitForSingleObject(helperThread_, kLetGoMs);
        CloseHandle(helperThread_);
    }
    if (chunks_ != nullptr)
        Release(chunks_);
    if (buffer_ != nullptr)
        VirtualFree(buffer_, 0, MEM_RELEASE);
}

int64_t ChunkedFileSource::Length() {
    LARGE_INTEGER length;
    return GetFileSizeEx(file_, &length) ? length.QuadPart : -1;
}

int32_t ChunkedFileSource::Read(unsigned char* block, int32_t count) {
    if (Stopped(stop_) || count <= 0)
        return -1;
    DWORD got = 0;
    // Block by block, the handle's own position is the reading's; read in
    // chunks, it is wherever the last large read ended.
    if (chunkedEnd_ > 0)
        got = ReadAt(file_, position_, block, static_cast<DWORD>(count));
    else if (!ReadFile(file_, block, static_cast<DWORD>(count), &got, nullptr))
        got = 0;
    position_ += got;
    return static_cast<int32_t>(got);
}

bool ChunkedFileSource::Sum(unsigned char* block, int32_t count, uint32_t* running) {
    if (Stopped(stop_))
        return false;
    if (position_ + count > chunkedEnd_)
        return BlockSource::Sum(block, count, running); // block by block (or past the old end)
    // Chunks are whole blocks; only the last block of the file is shorter.
    if (position_ % kBlock != 0 || (count != kBlock && position_ + count != chunkedEnd_))
        return false;
    int64_t chunk = position_ / chunks_->bytes;
    if (chunk != chunk_) {
        if (!JoinChunk(chunk, running))
            return false;
        chunk_ = chunk;
    }
    position_ += count;
    return true;
}

// Joins the CRC of chunk to the running value: the helper's, or the
// worker's own. While the chunk is not summed, the worker sums whatever
// chunk is free, and otherwise waits for the helper, within bounds.
bool ChunkedFileSource::JoinChunk(int64_t chunk, uint32_t* running) {
    Chunks* c = chunks_;
    WaitWhileHeld();
    c->needed.store(chunk);
    if (c->helperWaits.load())
        SetEvent(c->moved);
    Judge();
    uint32_t crc = 0;
    while (!Summed(c, chunk, &crc)) {
        int64_t free = 0;
        if (Claim(c, chunk + kWindow, &free)) {
            if (!SumChunk(file_, c, free, buffer_, stop_, &crc))
                return false; // a read error, the file was cut short, or stop
            Deliver(c, free, crc);
        } else if (!helping_) {
            // Claimed by a helper that has been given up or has ended.
            if (!SumChunk(file_, c, chunk, buffer_, stop_, &crc))
                return false;
            break;
        } else if (!WaitForHelper(c, chunk, stop_)) {
            if (Stopped(stop_))
                return false;
            GiveUpHelper();
        }
    }
    *running =
        Crc32Combine(*running ^ 0xFFFFFFFFu, crc, uint64_t(c->LengthOf(chunk))) ^ 0xFFFFFFFFu;
    return true;
}

// At each chunk, before it is joined. The first chunks are read alone and
// timed; then the helper starts. When they came fast, it stays. When they
// came slowly, it is on trial: a stretch is timed with the helper, then one
// alone again (the helper paused), and it goes on only if the stretch with
// it beat the mean of the two alone by kWorthIt. Alone on both sides, so
// that a disk that slows down or speeds up along the file favours neither;
// each stretch is timed only after a chunk read the new way, and only from
// a chunk that the helper has not claimed, so that no stretch gets the reads
// of another. A disk may change its pace along a file (the virtual disk of
// the development machine reads the first GiBs of a file that is not cached
// faster than the rest), so the trial is held again every kTrialEvery chunks.
// A helper that started for fast chunks is timed too, stretch by stretch, and
// goes on trial once a stretch comes slowly: the cached start of a file says
// nothing of the disk its rest comes from.
void ChunkedFileSource::Judge() {
    int64_t chunk = position_ / chunks_->bytes;
    if (chunk == 0 && LastCameFast.load() && chunks_->count >= 2 * kTimedChunks) {
        // The file before came fast with the helper: this one most likely
        // comes from the same place, so the helper starts at once and the
        // first stretch with it is timed like any other.
        StartHelper();
        stage_ = Stage::kSettled;
        stageFrom_ = kSettleChunks;
        return;
    }
    if (chunk == stageFrom_)
        stageSince_ = Counter();
    bool timed = chunk >= stageFrom_ + kTimedChunks;
    switch (stage_) {
    case Stage::kAlone:
        if (!timed)
            return;
        stage_ = Stage::kSettled;
        settledAt_ = chunk;
        if (chunk + kTimedChunks > chunks_->count)
            return; // too few chunks left for a helper to be worth it
        speedAlone_ = SpeedSince(chunk);
        if (helperThread_ == nullptr) {
            StartHelper();
            onTrial_ = speedAlone_ < SlowBelow.load(); // maybe a disk that seeks
            LastCameFast.store(helping_ && !onTrial_);
        } else {
            Pause(false);
        }
        if (helping_ && onTrial_) {
            stage_ = Stage::kHelped;
            stageFrom_ = chunk + kSettleChunks;
            TrialsHeld.fetch_add(1);
        } else if (helping_) {
            stageFrom_ = chunk + kSettleChunks; // the fast helper's stretches
        }
        return;
    case Stage::kHelped:
        if (!timed)
            return;
        speedHelped_ = SpeedSince(chunk);
        Pause(true);
        stage_ = Stage::kPausing;
        pausedFor_ = Stage::kAloneAgain;
        return;
    case Stage::kPausing:
        if (chunk >= chunks_->next.load()) { // the helper's last chunks are joined
            stage_ = pausedFor_;
            stageFrom_ = chunk + kSettleChunks;
        }
        return;
    case Stage::kAloneAgain:
        if (!timed)
            return;
        stage_ = Stage::kSettled;
        settledAt_ = chunk;
        if (speedHelped_ >= (speedAlone_ + SpeedSince(chunk)) / 2 * kWorthIt)
            Pause(false);
        return;
    case Stage::kSettled:
        if (helping_ && !onTrial_ && timed) {
            if (SpeedSince(chunk) >= SlowBelow.load()) {
                stageFrom_ = chunk; // the next stretch starts here
                stageSince_ = Counter();
                return;
            }
            LastCameFast.store(false);
            onTrial_ = true; // from here on, judged as a file that came slowly
            settledAt_ = chunk - kTrialEvery;
        }
        if (helping_ && onTrial_ && chunk >= settledAt_ + kTrialEvery) {
            Pause(true);
            stage_ = Stage::kPausing;
            pausedFor_ = Stage::kAlone;
        }
        return;
    }
}

// While reading is held, the worker waits before each chunk, at most
// kHeldMs at a time, so that a hold that never ends only slows the file
// down. A timed stretch that a hold cut into starts again after it: the
// helper may have gone on with a chunk it had claimed, or been held for
// longer than the worker.
void ChunkedFileSource::WaitWhileHeld() {
    if (!HoldReading.load())
        return;
    for (DWORD since = GetTickCount();
         HoldReading.load() && !Stopped(stop_) && GetTickCount() - since < kHeldMs;)
        Sleep(5);
    stageFrom_ = position_ / chunks_->bytes + kSettleChunks;
}

void ChunkedFileSource::Pause(bool paused) {
    chunks_->paused.store(paused);
    if (!paused)
        SetEvent(chunks_->moved);
}

// Bytes a second from the stage's first chunk to chunk.
double ChunkedFileSource::SpeedSince(int64_t chunk) const {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double seconds = double(Counter() - stageSince_) / double(frequency.QuadPart);
    double bytes = double((chunk - stageFrom_) * chunks_->bytes);
    return seconds > 0 ? bytes / seconds : 1e300;
}

void ChunkedFileSource::StartHelper() {
    Chunks* c = chunks_;
    // A handle of its own to the very same file, so that its reads are a
    // stream of their own, whatever happens to the file's name meanwhile.
    c->file = ReOpenFile(file_, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
    c->moved = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    c->delivered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (c->file == INVALID_HANDLE_VALUE || c->moved == nullptr || c->delivered == nullptr)
        return; // the handles go with the chunks
    c->owners.store(2);
    helperThread_ = CreateThread(nullptr, 4096, Help, c, 0, nullptr);
    if (helperThread_ == nullptr) {
        c->owners.store(1);
        return;
    }
    helping_ = true;
    HelpersStarted.fetch_add(1);
}

void ChunkedFileSource::GiveUpHelper() {
    LastCameFast.store(false);
    helping_ = false;
    chunks_->stop.store(true);
    SetEvent(chunks_->moved);
}
