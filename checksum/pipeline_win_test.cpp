// The checksum pipeline as the program runs it: a hidden window with the file
// list, the 500 ms timer driving the scheduler, worker threads (reading every
// file in small chunks, with a helping thread wherever there are enough of
// them), real files.
// Every write that reaches the list is recorded, so the sequence of texts a
// row shows can be checked. Expected checksums come from zlib.
#include "checksum/checksum_loop.h"
#include "checksum/checksum_worker_win.h"
#include "checksum/chunked_source_win.h"
#include "checksum/file_entry_win.h"
#include "checksum/zlib_crc_win_test_support.h"
#include "runtime/files_win.h"
#include "runtime/memory_win.h"
#include "runtime/params_win.h"
#include "runtime/timers_win.h"
#include "ui/controls_win.h"
#include "ui/list_view_win.h"
#include "ui/ui_win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

namespace {

constexpr int32_t kBlock = 131072;
// A timer this slow never ticks during a test.
constexpr uint32_t kOneHourMs = 3600000;

struct ListWrite {
    int row;
    int column;
    std::string text;
};

std::vector<ListWrite> g_writes;

// Records each cell write of the list layer, in order.
void RecordWrite(int32_t row, int32_t column, const std::string& text) {
    g_writes.push_back({row, column, text});
}

std::string Crc(const std::string& bytes) {
    return ZlibCrcText(bytes);
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

class Pipeline : public ::testing::Test {
  protected:
    void SetUp() override {
        InitProgramDirectory();
        InitFileTable();
        CreateBlockHeap();
        InitTimers();
        window_ = std::make_unique<TestWindow>();
        CreateTestFileList();
        g_writes.clear();
        BeforeCellWrite.store(RecordWrite);
        ReplaceQueuedWrites.store(false); // every percentage is seen
        WorkerIdle.store(1);
        // Every file is read in chunks of two blocks, and every file of more
        // than a few chunks gets a helper for good: the results must not
        // change.
        chunkFrom_ = ChunkedFileSource::ChunkFrom.exchange(1);
        chunkBytes_ = ChunkedFileSource::ChunkBytes.exchange(2 * kBlock);
        slowBelow_ = ChunkedFileSource::SlowBelow.exchange(0);
        StartPeriodicTimer(1, 500, ChecksumScheduler);
    }

    void TearDown() override {
        WaitUntil([] { return WorkerIdle.load() == 1; }, 60000);
        StopAllTimers();
        BeforeCellWrite.store(nullptr);
        ReplaceQueuedWrites.store(true);
        ChunkedFileSource::ChunkFrom.store(chunkFrom_);
        ChunkedFileSource::ChunkBytes.store(chunkBytes_);
        ChunkedFileSource::SlowBelow.store(slowBelow_);
        window_.reset();
        CloseAllFiles();
        DestroyBlockHeap();
    }

    std::string Make(const std::string& name, const std::string& bytes) {
        return folder_.Make(name, bytes);
    }

    std::string MakeSparse(const std::string& name, int64_t size) {
        return folder_.MakeSparse(name, size);
    }

    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
        if (done())
            return true;
        return WaitForEventWhere([&](const Event&) { return done(); }, timeoutMs);
    }

    // The percentage a row shows, or -1 when it shows none.
    static int PercentShown(int32_t row) {
        std::string state = GetListItemText(FileList, row, 2);
        if (state.empty() || state.back() != '%')
            return -1;
        return std::stoi(state);
    }

    static bool IsFinal(const std::string& state) {
        return state == "CRC32 in filename" || state == "no CRC32 in filename" ||
               state == "CRC32 mismatch" || state == "ReadError";
    }

    // Waits until every row has its verdict and its worker has ended.
    bool WaitForVerdicts(int timeoutMs) {
        return WaitUntil(
            [] {
                int32_t count = CountListItems(FileList);
                for (int32_t i = 0; i < count; ++i)
                    if (!IsFinal(GetListItemText(FileList, i, 2)))
                        return false;
                return WorkerIdle.load() == 1;
            },
            timeoutMs);
    }

    static std::vector<std::string> WritesTo(int row, int column, size_t from = 0) {
        std::vector<std::string> texts;
        for (size_t i = from; i < g_writes.size(); ++i)
            if (g_writes[i].row == row && g_writes[i].column == column)
                texts.push_back(g_writes[i].text);
        return texts;
    }

    std::unique_ptr<TestWindow> window_;
    TempFolder folder_;
    int64_t chunkFrom_ = 0;
    int32_t chunkBytes_ = 0;
    double slowBelow_ = 0;
};

TEST_F(Pipeline, EachFileShowsItsPercentagesThenItsVerdictThenItsChecksum) {
    using Texts = std::vector<std::string>;
    struct {
        size_t size;
        Texts states;
    } cases[] = {
        {0, {"0%", "no CRC32 in filename"}},
        {1, {"0%", "no CRC32 in filename"}},
        {kBlock, {"0%", "no CRC32 in filename"}},
        {kBlock + 1, {"0%", "100%", "no CRC32 in filename"}},
        {2 * kBlock, {"0%", "50%", "no CRC32 in filename"}},
        {8 * kBlock,
         {"0%", "13%", "25%", "38%", "50%", "63%", "75%", "88%", "no CRC32 in filename"}},
    };
    std::vector<std::string> contents;
    for (const auto& c : cases) {
        contents.push_back(RandomBytes(c.size, static_cast<unsigned>(c.size) + 1));
        AddWaitingEntry(Make("file" + std::to_string(c.size) + ".bin", contents.back()));
    }
    ASSERT_TRUE(WaitForVerdicts(30000));

    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(c.states, WritesTo(row, 2));
        EXPECT_EQ(Texts{Crc(contents[row])}, WritesTo(row, 1));
        EXPECT_EQ(Crc(contents[row]), GetListItemText(FileList, row, 1));
        // The State column gets the verdict before the CRC32 column gets the
        // checksum.
        size_t verdictAt = 0, crcAt = 0;
        for (size_t i = 0; i < g_writes.size(); ++i) {
            if (g_writes[i].row == row && g_writes[i].column == 2)
                verdictAt = i;
            if (g_writes[i].row == row && g_writes[i].column == 1)
                crcAt = i;
        }
        EXPECT_LT(verdictAt, crcAt);
        ++row;
    }

    // One at a time, lowest index first: the rows' writes never interleave.
    for (size_t i = 1; i < g_writes.size(); ++i)
        EXPECT_LE(g_writes[i - 1].row, g_writes[i].row) << "write " << i;
}

// The timer is slowed to one tick an hour, and the test ticks once by hand:
// every later file, a failing one among them, starts as soon as the one
// before it is done.
TEST_F(Pipeline, TheNextFilesStartWithoutATick) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    std::string first = RandomBytes(3000, 11), third = RandomBytes(kBlock + 9, 12);
    AddWaitingEntry(Make("first.bin", first));
    AddWaitingEntry(folder_.In("missing.bin"));
    AddWaitingEntry(Make("third.bin", third));
    ChecksumScheduler();
    ASSERT_TRUE(WaitForVerdicts(20000));
    EXPECT_EQ(Crc(first), GetListItemText(FileList, 0, 1));
    EXPECT_EQ("ReadError", GetListItemText(FileList, 1, 2));
    EXPECT_EQ(Crc(third), GetListItemText(FileList, 2, 1));
}

// A "Clear" that lands after the search found a waiting row and before its
// file is opened: no file is opened for the row that now has that index. That
// row names a pipe, so an attempt to open it shows as a client of the pipe.
TEST_F(Pipeline, AClearBetweenFindingARowAndReadingItsPathOpensNothingForTheNewRow) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    static const char* kPipe = "\\\\.\\pipe\\sumvane-clear-between";
    static std::string later;
    HANDLE pipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    std::string bytes = RandomBytes(500, 13);
    later = Make("later.bin", bytes);
    AddWaitingEntry(Make("cleared.bin", "cleared"));
    AfterWaitingRowFound.store([] {
        AfterWaitingRowFound.store(nullptr);
        ClearListItems(FileList);
        AddListItem(FileList, -1, std::string("pipe > ") + kPipe + "\n\nno CRC32 in filename");
        AddWaitingEntry(later);
    });
    ChecksumScheduler();
    bool done = WaitForVerdicts(20000);
    OVERLAPPED overlapped = {};
    bool connected = ConnectNamedPipe(pipe, &overlapped) || GetLastError() != ERROR_IO_PENDING;
    CancelIo(pipe);
    CloseHandle(pipe);
    ASSERT_TRUE(done);
    EXPECT_FALSE(connected) << "the new row's path was opened";
    EXPECT_EQ(Crc(bytes), GetListItemText(FileList, 1, 1));
    EXPECT_EQ("", GetListItemText(FileList, 0, 1));
}

// A batch of rows cleared halfway, just before the worker opens its second
// file: it opens the files of none of the rows after the Clear. Those rows
// name pipes, whose opening would show as a client of the pipe; the row that
// comes after the Clear is read.
std::atomic<int> g_opens{0};

TEST_F(Pipeline, ABatchClearedHalfwayOpensNoFileOfAClearedRow) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    std::vector<HANDLE> pipes;
    for (int i = 0; i < 3; ++i) {
        std::string name = "\\\\.\\pipe\\sumvane-batch-" + std::to_string(i);
        pipes.push_back(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, pipes.back());
    }
    static std::string later;
    std::string bytes = RandomBytes(700, 17);
    later = Make("after-clear.bin", bytes);
    AddWaitingEntry(Make("first.bin", "first"));
    for (int i = 0; i < 3; ++i)
        AddListItem(FileList, -1,
                    "pipe > \\\\.\\pipe\\sumvane-batch-" + std::to_string(i) + "\n\nWaiting");
    g_opens = 0;
    BeforeWorkerOpens.store([] {
        if (++g_opens != 2)
            return;
        ClearListItems(FileList);
        AddWaitingEntry(later);
    });
    ChecksumScheduler();
    bool done = WaitForVerdicts(20000);
    BeforeWorkerOpens.store(nullptr);
    int connected = 0;
    for (HANDLE pipe : pipes) {
        OVERLAPPED overlapped = {};
        connected += ConnectNamedPipe(pipe, &overlapped) || GetLastError() != ERROR_IO_PENDING;
        CancelIo(pipe);
        CloseHandle(pipe);
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(0, connected) << "a cleared row's file was opened";
    EXPECT_EQ(1, CountListItems(FileList));
    EXPECT_EQ(Crc(bytes), GetListItemText(FileList, 0, 1));
}

// The worker's next search is served only after a "Clear" and new rows (the
// window was busy): it finds the new rows, and the Clear then drops its
// batch. They are all read all the same, without a tick.
HANDLE g_firstOpened = nullptr;

TEST_F(Pipeline, RowsFoundByASearchServedAfterAClearAreReadAllTheSame) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    g_firstOpened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    AddWaitingEntry(Make("first.bin", "first"));
    BeforeWorkerOpens.store([] { SetEvent(g_firstOpened); });
    ChecksumScheduler();
    // Nothing is served here meanwhile: the worker reads its file and waits
    // for its next search.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_firstOpened, 10000));
    BeforeWorkerOpens.store(nullptr);
    CloseHandle(g_firstOpened);
    Sleep(300);
    ClearListItems(FileList);
    std::string one = RandomBytes(40, 31), two = RandomBytes(50, 32);
    AddWaitingEntry(Make("one.bin", one));
    AddWaitingEntry(Make("two.bin", two));
    ASSERT_TRUE(WaitForVerdicts(10000));
    EXPECT_EQ(Crc(one), GetListItemText(FileList, 0, 1));
    EXPECT_EQ(Crc(two), GetListItemText(FileList, 1, 1));
}

// However the window's slices of queued writes fall, no row shows its verdict
// without its checksum between two of them (a rename or "Copy All" could
// come there).
TEST_F(Pipeline, NoSliceEndsBetweenAVerdictAndItsChecksum) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    size_t slice = QueuedWriteSlice.exchange(2); // "0%", the verdict | the checksum
    AfterQueuedWrites.store([] { g_writes.push_back({-1, -1, "slice made"}); });
    for (int i = 0; i < 20; ++i)
        AddWaitingEntry(Make("f" + std::to_string(i) + ".bin", RandomBytes(100 + i, 40 + i)));
    ChecksumScheduler();
    bool done = WaitForVerdicts(10000);
    QueuedWriteSlice.store(slice);
    AfterQueuedWrites.store(nullptr);
    ASSERT_TRUE(done);
    std::map<int, std::pair<std::string, std::string>> rows; // state, checksum
    for (const ListWrite& write : g_writes) {
        if (write.row >= 0) {
            (write.column == 2 ? rows[write.row].first : rows[write.row].second) = write.text;
            continue;
        }
        for (const auto& [row, cells] : rows)
            EXPECT_FALSE(IsFinal(cells.first) && cells.second.empty()) << "row " << row;
    }
}

// One search takes rows up to 64 KiB of paths: of 40 rows with paths of
// about 1,960 bytes, the last is not in the first batch, so it is read with
// the path it has by the time of the second search.
std::string g_laterPath;

TEST_F(Pipeline, ASearchTakesRowsUpToItsBytes) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    std::string bytes = RandomBytes(60, 37);
    g_laterPath = Make("later.bin", bytes);
    std::string longPath = folder_.In("missing");
    for (int i = 0; i < 8; ++i)
        longPath += "\\" + std::string(240, 'd');
    for (int i = 0; i < 40; ++i)
        AddListItem(FileList, -1, "x > " + longPath + "\\x\n\nWaiting");
    AfterWaitingRowFound.store([] {
        AfterWaitingRowFound.store(nullptr);
        SetListItemText(FileList, 39, "later.bin > " + g_laterPath, 0);
    });
    ChecksumScheduler();
    ASSERT_TRUE(WaitForVerdicts(20000));
    EXPECT_EQ("ReadError", GetListItemText(FileList, 33, 2));
    EXPECT_EQ(Crc(bytes), GetListItemText(FileList, 39, 1));
}

// A worker that could not be started leaves its row for the next call.
TEST_F(Pipeline, ARowWhoseWorkerCouldNotStartIsTakenByTheNextCall) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    std::string first = RandomBytes(900, 23);
    AddWaitingEntry(Make("first.bin", first));
    AddWaitingEntry(Make("second.bin", "second"));
    StartWorkerThread.store([](ThreadProcedure, uint32_t) -> uintptr_t { return 0; });
    ChecksumScheduler();
    StartWorkerThread.store(StartThread);
    ChecksumScheduler();
    ASSERT_TRUE(WaitForVerdicts(10000));
    EXPECT_EQ(Crc(first), GetListItemText(FileList, 0, 1));
}

// Files added while the worker goes idle, just before it sets WorkerIdle to
// 1 (bit 1 of the case), just after (bit 2), or both, each with the call
// of the scheduler that follows an add: with the timer at one tick an hour,
// they start at once all the same, and never two workers at a time (each
// open waits a moment, so that two workers would meet there).
std::atomic<int> g_idleAdds{0};
std::atomic<int> g_inside{0};
std::atomic<bool> g_twoAtOnce{false};
std::string g_addedPath;

TEST_F(Pipeline, FilesAddedAsTheWorkerGoesIdleStartAtOnceWithOneWorkerAtATime) {
    StartPeriodicTimer(1, kOneHourMs, ChecksumScheduler);
    std::string bytes = RandomBytes(300, 19);
    g_addedPath = Make("added.bin", bytes);
    BeforeWorkerOpens.store([] {
        if (g_inside.fetch_add(1) != 0)
            g_twoAtOnce = true;
        Sleep(20);
        g_inside.fetch_sub(1);
    });
    for (int mask = 1; mask <= 3; ++mask) {
        SCOPED_TRACE(mask);
        ClearListItems(FileList);
        g_idleAdds = mask;
        AroundWorkerIdling.store([](int32_t idle) {
            int bit = idle == 0 ? 1 : 2;
            if ((g_idleAdds.fetch_and(~bit) & bit) == 0)
                return;
            for (int i = 0; i < 3; ++i)
                AddWaitingEntry(g_addedPath);
            ChecksumScheduler();
        });
        AddWaitingEntry(g_addedPath);
        ChecksumScheduler();
        bool done = WaitUntil(
            [mask] {
                return CountListItems(FileList) == 1 + 3 * (mask == 3 ? 2 : 1) &&
                       GetListItemText(FileList, CountListItems(FileList) - 1, 1) != "" &&
                       WorkerIdle.load() == 1;
            },
            10000);
        AroundWorkerIdling.store(nullptr);
        ASSERT_TRUE(done) << "files added as the worker went idle waited for a tick";
        ASSERT_TRUE(WaitForVerdicts(10000));
        for (int32_t row = 0; row < CountListItems(FileList); ++row)
            EXPECT_EQ(Crc(bytes), GetListItemText(FileList, row, 1)) << row;
    }
    BeforeWorkerOpens.store(nullptr);
    EXPECT_FALSE(g_twoAtOnce.load()) << "two workers ran at once";
}

// The reader alone: a file cut inside a chunk that is not its last, and
// grown back to its old bytes before the reading ends, is no checksum.
class CutThenRegrown : public ProgressSink {
  public:
    CutThenRegrown(std::string unixPath, std::string original)
        : path_(std::move(unixPath)), original_(std::move(original)) {}
    void Progress(const std::string& percent) override {
        if (percent == "5%") // chunk 0 is read; chunk 3 of 10 is cut short
            RunUnix({"/usr/bin/truncate", "-s", std::to_string(7 * kBlock + 1000), path_});
        if (percent == "30%")
            RunUnix({"/bin/cp", original_, path_});
    }

  private:
    std::string path_, original_;
};

TEST_F(Pipeline, AChunkThatComesShortFailsTheFileEvenIfTheFileGrowsBack) {
    std::string bytes = RandomBytes(20 * kBlock, 23);
    std::string path = Make("regrown.bin", bytes);
    Make("original.bin", bytes);
    uintptr_t handle = OpenFileForReading(5, path);
    ASSERT_NE(0u, handle);
    std::vector<unsigned char> block(kBlock);
    ChecksumOutcome outcome;
    {
        ChunkedFileSource source(handle, path);
        CutThenRegrown sink(folder_.unixPath() + "/regrown.bin",
                            folder_.unixPath() + "/original.bin");
        outcome = ChecksumBlocks(source, block.data(), kBlock, sink);
    }
    CloseFileNumber(5);
    EXPECT_FALSE(outcome.complete) << std::hex << outcome.checksum;
}

TEST_F(Pipeline, ChunkedFilesGiveZlibsChecksumAndTheSamePercentagesAroundEveryChunkEnd) {
    // Chunks of two blocks; the helper sums whole chunks from the sixth on,
    // or from the first once a file before came fast. Files end just before,
    // at and just after the end of a chunk, of the helper's and of the
    // worker's. The last, of eight chunks, is too short to wait for a
    // helper, but gets one at once after the fast files before it.
    const size_t sizes[] = {20 * kBlock - 1, 20 * kBlock,     20 * kBlock + 1,
                            21 * kBlock,     22 * kBlock + 1, 16 * kBlock};
    int32_t helpers = ChunkedFileSource::HelpersStarted.load();
    std::vector<std::string> contents;
    for (size_t size : sizes) {
        contents.push_back(RandomBytes(size, static_cast<unsigned>(size)));
        AddWaitingEntry(Make("chunked" + std::to_string(size) + ".bin", contents.back()));
    }
    ASSERT_TRUE(WaitForVerdicts(30000));
    for (int row = 0; row < 6; ++row) {
        SCOPED_TRACE(sizes[row]);
        EXPECT_EQ(Crc(contents[row]), GetListItemText(FileList, row, 1));
        std::vector<std::string> states;
        for (size_t at = 0; at < sizes[row]; at += kBlock)
            if (states.empty() || states.back() != PercentText(at, sizes[row]))
                states.push_back(PercentText(at, sizes[row]));
        states.push_back("no CRC32 in filename");
        EXPECT_EQ(states, WritesTo(row, 2));
    }
    EXPECT_EQ(helpers + 6, ChunkedFileSource::HelpersStarted.load());
}

HANDLE g_helperHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::atomic<int> g_helperHolds{0};

void HoldHelper(int64_t) {
    ++g_helperHolds;
    WaitForSingleObject(g_helperHeld, 60000);
}

// The helper hangs in its first chunk, which the worker needs long before
// the end of a file this large.
TEST_F(Pipeline, AHelperWhoseReadsHangHoldsUpNeitherItsFileNorTheNext) {
    ChunkedFileSource::BeforeHelperChunk.store(HoldHelper);
    std::string next = RandomBytes(100, 13);
    AddWaitingEntry(MakeSparse("held.bin", int64_t(256) << 20));
    AddWaitingEntry(Make("next.bin", next));
    bool done = WaitForVerdicts(20000);
    SetEvent(g_helperHeld); // the helper finds it was let go, and ends
    ChunkedFileSource::BeforeHelperChunk.store(nullptr);
    ASSERT_TRUE(done);
    EXPECT_EQ(1, g_helperHolds.load());
    EXPECT_EQ("2A0E7DBB", GetListItemText(FileList, 0, 1)); // 256 MiB of zeros, by zlib
    EXPECT_EQ(Crc(next), GetListItemText(FileList, 1, 1));
}

// While reading is held (another process hands over paths), a large file
// waits, its helper too, and goes on as soon as the hold ends.
TEST_F(Pipeline, AHeldFileWaitsWithItsHelperAndGoesOnAfterTheHold) {
    static std::atomic<int> taken{0};
    ChunkedFileSource::BeforeHelperChunk.store([](int64_t) { ++taken; });
    ChunkedFileSource::HoldReading.store(true);
    AddWaitingEntry(MakeSparse("held.bin", int64_t(64) << 20));
    bool moved = WaitUntil([] { return WritesTo(0, 2).size() > 1 || taken.load() > 0; }, 1000);
    ChunkedFileSource::HoldReading.store(false);
    bool done = WaitForVerdicts(20000);
    ChunkedFileSource::BeforeHelperChunk.store(nullptr);
    EXPECT_FALSE(moved) << "read while held";
    ASSERT_TRUE(done);
    EXPECT_EQ("B2EB30ED", GetListItemText(FileList, 0, 1)); // 64 MiB of zeros, by zlib
}

// A helper that started for fast chunks goes on trial once the reading turns
// slow (here: once every speed counts as slow, from the helper's first chunk).
// The file is long enough for a helper thread that starts late: the worker
// reads whatever the helper has not claimed.
TEST_F(Pipeline, AHelperThatCameFastGoesOnTrialWhenTheReadingTurnsSlow) {
    int32_t trials = ChunkedFileSource::TrialsHeld.load();
    ChunkedFileSource::BeforeHelperChunk.store(
        [](int64_t) { ChunkedFileSource::SlowBelow.store(1e300); });
    AddWaitingEntry(MakeSparse("slowing.bin", int64_t(256) << 20));
    bool done = WaitForVerdicts(20000);
    ChunkedFileSource::BeforeHelperChunk.store(nullptr);
    ASSERT_TRUE(done);
    EXPECT_EQ("2A0E7DBB", GetListItemText(FileList, 0, 1)); // 256 MiB of zeros, by zlib
    EXPECT_LT(trials, ChunkedFileSource::TrialsHeld.load());
}

TEST_F(Pipeline, FilesOnNetworkAndCdRomDrivesAreReadBlockByBlock) {
    // The test prefix has N: (network) and M: (CD-ROM) on one folder.
    std::string name = "drives-" + std::to_string(GetCurrentProcessId()) + ".bin";
    struct {
        std::string path;
        UINT type;
        int32_t chunked;
    } cases[] = {{folder_.In(name), DRIVE_FIXED, 1},
                 {"N:\\" + name, DRIVE_REMOTE, 0},
                 {"M:\\" + name, DRIVE_CDROM, 0}};
    std::string bytes = RandomBytes(64 * kBlock, 14);
    Make(name, bytes);
    ASSERT_TRUE(CopyFileA(cases[0].path.c_str(), cases[1].path.c_str(), TRUE));
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(cases[row].path);
        ASSERT_EQ(cases[row].type, GetDriveTypeA(cases[row].path.substr(0, 3).c_str()));
        int32_t chunked = ChunkedFileSource::FilesChunked.load();
        AddWaitingEntry(cases[row].path);
        ASSERT_TRUE(WaitForVerdicts(20000));
        EXPECT_EQ(Crc(bytes), GetListItemText(FileList, row, 1));
        EXPECT_EQ(chunked + cases[row].chunked, ChunkedFileSource::FilesChunked.load());
    }
    DeleteFileA(cases[1].path.c_str());
}

TEST_F(Pipeline, TheVerdictLooksForTheChecksumAnywhereInThePathIgnoringCase) {
    std::string bytes = RandomBytes(5000, 42);
    std::string crc = Crc(bytes);
    std::string lower = crc;
    for (char& c : lower)
        c = static_cast<char>(tolower(c));
    CreateDirectoryA(folder_.In(crc).c_str(), nullptr);
    struct {
        std::string name;
        const char* verdict;
    } cases[] = {
        {"clip [" + crc + "].bin", "CRC32 in filename"},
        {"clip_" + lower + ".bin", "CRC32 in filename"},
        {crc + "\\clip.bin", "CRC32 in filename"},
        {"clip.bin", "no CRC32 in filename"},
        {"clip [" + std::string(crc == "0BADF00D" ? "0BADF00E" : "0BADF00D") + "].bin",
         "CRC32 mismatch"},
    };
    for (const auto& c : cases)
        AddWaitingEntry(Make(c.name, bytes));
    ASSERT_TRUE(WaitForVerdicts(20000));
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(cases[row].name);
        EXPECT_EQ(cases[row].verdict, GetListItemText(FileList, row, 2));
        EXPECT_EQ(crc, GetListItemText(FileList, row, 1));
    }
}

TEST_F(Pipeline, FilesThatCannotBeReadEndAsReadErrorAndAreNeverRetried) {
    std::string missing = Make("gone.bin", "soon gone");
    std::string held = Make("held.bin", "held open for writing");
    std::string longName = folder_.In(std::string(600, 'n') + ".bin");
    HANDLE writer = CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    AddWaitingEntry(missing);
    DeleteFileA(missing.c_str());
    AddWaitingEntry(held);
    AddWaitingEntry(longName);
    std::string fine = RandomBytes(100, 3);
    AddWaitingEntry(Make("fine.bin", fine));

    bool done = WaitForVerdicts(20000);
    CloseHandle(writer);
    ASSERT_TRUE(done);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ("ReadError", GetListItemText(FileList, row, 2));
        EXPECT_EQ("", GetListItemText(FileList, row, 1));
    }
    EXPECT_EQ(Crc(fine), GetListItemText(FileList, 3, 1));

    // Two more ticks: nothing is tried again.
    size_t before = g_writes.size();
    WaitUntil([] { return false; }, 1200);
    EXPECT_EQ(before, g_writes.size());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(std::vector<std::string>{"ReadError"}, WritesTo(row, 2));
}

TEST_F(Pipeline, TheSameFileTwiceGivesTwoIndependentResults) {
    std::string bytes = RandomBytes(3 * kBlock + 5, 9);
    std::string path = Make("twice.bin", bytes);
    AddWaitingEntry(path);
    AddWaitingEntry(path);
    ASSERT_TRUE(WaitForVerdicts(20000));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(Crc(bytes), GetListItemText(FileList, row, 1));
        EXPECT_EQ((std::vector<std::string>{"0%", "33%", "67%", "100%", "no CRC32 in filename"}),
                  WritesTo(row, 2));
    }
}

TEST_F(Pipeline, ANameBeginningWithSpacesKeepsThemInThePathOnly) {
    std::string bytes = RandomBytes(10, 4);
    std::string path = Make("  spaced.bin", bytes);
    AddWaitingEntry(path);
    EXPECT_EQ("spaced.bin", EntryDisplayName(0));
    EXPECT_EQ(path, EntryFullPath(0));
    EXPECT_EQ("", EntryFullPath(1));
    ASSERT_TRUE(WaitForVerdicts(10000));
    EXPECT_EQ(Crc(bytes), GetListItemText(FileList, 0, 1));
}

TEST_F(Pipeline, AFileOfFiveGibibytesGetsItsChecksum) {
    // CRC-32 of 5 GiB of zero bytes, computed with Python's zlib.crc32.
    const char* kFiveGibibytesOfZeros = "193838C3";
    std::string path = MakeSparse("five.bin", int64_t(5) << 30);
    // The first read of a new sparse file fills the system's cache with zero
    // pages, which is slower than reading any real file; read it once first
    // so that the time below is the pipeline's own.
    RunUnix({"/bin/dd", "if=" + folder_.unixPath() + "/five.bin", "of=/dev/null", "bs=1M",
             "status=none"});
    AddWaitingEntry(path);
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitForVerdicts(120000));
    DWORD took = GetTickCount() - start;
    std::printf("5 GiB checksummed in %.1f s (%.2f GB/s)\n", took / 1000.0,
                (5.0 * (1 << 30)) / 1e9 / (took / 1000.0));
    EXPECT_EQ(kFiveGibibytesOfZeros, GetListItemText(FileList, 0, 1));
    std::vector<std::string> states = WritesTo(0, 2);
    ASSERT_GT(states.size(), 50u);
    EXPECT_EQ("0%", states.front());
    EXPECT_EQ("100%", states[states.size() - 2]);
    for (size_t i = 1; i + 1 < states.size(); ++i)
        EXPECT_LT(std::stoi(states[i - 1]), std::stoi(states[i])) << states[i];
}

TEST_F(Pipeline, AFileCutShortWhileItIsReadEndsAsReadError) {
    std::string path = MakeSparse("shrinking.bin", int64_t(6) << 30);
    AddWaitingEntry(path);
    ASSERT_TRUE(WaitUntil([] { return PercentShown(0) >= 1; }, 20000));
    // Truncated from the Linux side, which pays no heed to Windows sharing.
    ASSERT_TRUE(
        RunUnix({"/usr/bin/truncate", "-s", "1000", folder_.unixPath() + "/shrinking.bin"}));
    ASSERT_TRUE(WaitForVerdicts(60000));
    EXPECT_EQ("ReadError", GetListItemText(FileList, 0, 2));
    EXPECT_EQ("", GetListItemText(FileList, 0, 1));
}

TEST_F(Pipeline, ClearDuringALargeFileLeavesNewEntriesToTheirOwnWorkers) {
    AddWaitingEntry(MakeSparse("large.bin", int64_t(8) << 30));
    ASSERT_TRUE(WaitUntil([] { return PercentShown(0) >= 1; }, 20000));

    ClearListItems(FileList);
    size_t cleared = g_writes.size();
    std::string first = RandomBytes(2 * kBlock, 5);
    std::string second = RandomBytes(77, 6);
    AddWaitingEntry(Make("first.bin", first));
    AddWaitingEntry(Make("second.bin", second));

    // While the old worker reads on, the new entries wait, tick after tick.
    WaitUntil([] { return false; }, 600);
    EXPECT_EQ(0, WorkerIdle.load()) << "the large file should still be in progress";
    EXPECT_EQ("Waiting", GetListItemText(FileList, 0, 2));
    EXPECT_EQ("Waiting", GetListItemText(FileList, 1, 2));

    ASSERT_TRUE(WaitForVerdicts(120000));
    EXPECT_EQ((std::vector<std::string>{"0%", "50%", "no CRC32 in filename"}),
              WritesTo(0, 2, cleared));
    EXPECT_EQ((std::vector<std::string>{"0%", "no CRC32 in filename"}), WritesTo(1, 2, cleared));
    EXPECT_EQ(std::vector<std::string>{Crc(first)}, WritesTo(0, 1, cleared));
    EXPECT_EQ(std::vector<std::string>{Crc(second)}, WritesTo(1, 1, cleared));
}

TEST_F(Pipeline, ABlockThatCannotBeAllocatedEndsTheEntryAndClosesTheFile) {
    DestroyBlockHeap(); // every allocation now fails
    std::string path = Make("no-memory.bin", "some bytes");
    AddWaitingEntry(path);
    ASSERT_TRUE(WaitForVerdicts(10000));
    EXPECT_EQ("ReadError", GetListItemText(FileList, 0, 2));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the worker left the file open";

    // The next entry is taken as usual once memory is back.
    CreateBlockHeap();
    std::string bytes = RandomBytes(10, 8);
    AddWaitingEntry(Make("later.bin", bytes));
    ASSERT_TRUE(WaitForVerdicts(10000));
    EXPECT_EQ(Crc(bytes), GetListItemText(FileList, 1, 1));
}

// Shutdown in the middle of a large file: the worker and its helping thread
// end and let go of the file. (Stopping is for good in a process, so this
// test comes last.)
TEST_F(Pipeline, StoppingTheWorkerEndsItsThreadsAndFreesTheFile) {
    std::string path = MakeSparse("stopped.bin", int64_t(64) << 30);
    int32_t helpers = ChunkedFileSource::HelpersStarted.load();
    AddWaitingEntry(path);
    ASSERT_TRUE(WaitUntil([] { return PercentShown(0) >= 1; }, 20000));
    EXPECT_EQ(helpers + 1, ChunkedFileSource::HelpersStarted.load());
    auto worker = reinterpret_cast<HANDLE>(WorkerThreadHandle.load());
    EXPECT_TRUE(StopWorker());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 0));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "a thread of the worker still holds the file";
}

} // namespace
