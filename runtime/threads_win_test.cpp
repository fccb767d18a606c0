#include "runtime/threads_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

namespace {

std::atomic<DWORD> procedureThread{0};
std::atomic<uint32_t> procedureValue{0};
HANDLE releaseEvent = nullptr;

uint32_t RecordAndDouble(uint32_t value) {
    procedureThread = GetCurrentThreadId();
    procedureValue = value;
    return value * 2;
}

uint32_t WaitForRelease(uint32_t) {
    WaitForSingleObject(releaseEvent, INFINITE);
    return 99;
}

// Touches a good deal more stack than the 4096 bytes a thread asks for: the
// small request sets the initial size only, and the stack grows on demand.
uint32_t UseDeepStack(uint32_t) {
    volatile char deep[256 * 1024];
    for (size_t i = 0; i < sizeof deep; i += 512)
        deep[i] = static_cast<char>(i);
    return deep[4096] + 1;
}

DWORD ExitCodeAfterEnd(uintptr_t handle) {
    HANDLE thread = reinterpret_cast<HANDLE>(handle);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 12345;
    GetExitCodeThread(thread, &code);
    return code;
}

TEST(StartThread, RunsTheProcedureOnItsOwnThreadWithItsValue) {
    uintptr_t handle = StartThread(RecordAndDouble, 0x80000001u);
    ASSERT_NE(0u, handle);
    EXPECT_EQ(2u, ExitCodeAfterEnd(handle)) << "the procedure's result is the exit code";
    EXPECT_EQ(0x80000001u, procedureValue.load());
    EXPECT_NE(GetCurrentThreadId(), procedureThread.load());

    EXPECT_EQ(1u, ExitCodeAfterEnd(StartThread(UseDeepStack, 0)));
    EXPECT_EQ(0u, StartThread(nullptr, 1));
}

TEST(StopThread, EndsARunningThreadWithExitCodeZero) {
    releaseEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uintptr_t handle = StartThread(WaitForRelease, 0);
    ASSERT_NE(0u, handle);
    Sleep(20);
    EXPECT_TRUE(StopThread(handle));
    EXPECT_EQ(0u, ExitCodeAfterEnd(handle));
    CloseHandle(releaseEvent);
}

TEST(StopThread, LeavesAThreadThatHasEndedAlone) {
    uintptr_t handle = StartThread(RecordAndDouble, 21);
    ASSERT_NE(0u, handle);
    ASSERT_EQ(42u, ExitCodeAfterEnd(handle));
    StopThread(handle);
    StopThread(handle);
    EXPECT_EQ(42u, ExitCodeAfterEnd(handle));
    EXPECT_FALSE(StopThread(0));
}

} // namespace
