#include "runtime/timers_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {

// Waits up to 10 s for done() to hold, without handling any messages.
template <typename Condition>
bool WaitUntil(Condition done) {
    for (DWORD start = GetTickCount(); !done(); Sleep(1)) {
        if (GetTickCount() - start > 10000)
            return false;
    }
    return true;
}

class Timers : public ::testing::Test {
  protected:
    void SetUp() override { InitTimers(); }
    void TearDown() override { StopAllTimers(); }
};

std::atomic<int> callsA{0};
std::atomic<int> callsB{0};
void CountA() {
    ++callsA;
}
void CountB() {
    ++callsB;
}

TEST_F(Timers, OnlyNumbers0To15AreTimers) {
    callsA = 0;
    for (int32_t number : {16, -1, 1000, INT32_MIN}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(0u, StartPeriodicTimer(number, 1, CountA));
    }
    Sleep(100);
    EXPECT_EQ(0, callsA.load());

    callsB = 0;
    EXPECT_NE(0u, StartPeriodicTimer(15, 5, CountB));
    EXPECT_TRUE(WaitUntil([] { return callsB >= 3; }));
    EXPECT_EQ(0, callsA.load());
}

// Each call takes much longer than the period, so calls would pile up if the
// system ever started one before the previous had returned.
std::atomic<int> inside{0};
std::atomic<int> mostInside{0};
std::atomic<int> slowCalls{0};
std::atomic<DWORD> calledOn{0};
void SlowProcedure() {
    int now = ++inside;
    int most = mostInside.load();
    while (now > most && !mostInside.compare_exchange_weak(most, now)) {
    }
    calledOn = GetCurrentThreadId();
    Sleep(15);
    --inside;
    ++slowCalls;
}

TEST_F(Timers, CallsRunOneAtATimeOnAThreadOfTheirOwn) {
    ASSERT_NE(0u, StartPeriodicTimer(15, 2, SlowProcedure));
    EXPECT_TRUE(WaitUntil([] { return slowCalls >= 10; }));
    StopAllTimers();
    EXPECT_EQ(1, mostInside.load());
    EXPECT_NE(0u, calledOn.load());
    EXPECT_NE(GetCurrentThreadId(), calledOn.load());
}

TEST_F(Timers, StartingASlotAgainReplacesItsTimer) {
    callsA = 0;
    callsB = 0;
    uint32_t first = StartPeriodicTimer(3, 5, CountA);
    ASSERT_NE(0u, first);
    ASSERT_TRUE(WaitUntil([] { return callsA >= 3; }));

    uint32_t second = StartPeriodicTimer(3, 200, CountB);
    ASSERT_NE(0u, second);
    Sleep(50); // a tick of the old timer that was already due may land now
    int aAfterRestart = callsA;
    Sleep(1000);
    EXPECT_EQ(aAfterRestart, callsA.load()) << "the first procedure is still being called";
    // The new procedure at the new period: about 5 calls in 1050 ms, far from
    // the 200 that a leftover 5 ms timer would add.
    EXPECT_GE(callsB.load(), 2);
    EXPECT_LE(callsB.load(), 8);
}

std::atomic<bool> longCallEntered{false};
std::atomic<bool> longCallDone{false};
std::atomic<int> longCalls{0};
void LongProcedure() {
    ++longCalls;
    longCallEntered = true;
    Sleep(300);
    longCallDone = true;
}

TEST_F(Timers, StopAllTimersWaitsForARunningCallAndNoneFollows) {
    ASSERT_NE(0u, StartPeriodicTimer(1, 10, LongProcedure));
    ASSERT_TRUE(WaitUntil([] { return longCallEntered.load(); }));
    StopAllTimers();
    EXPECT_TRUE(longCallDone.load());
    int calls = longCalls;
    Sleep(100);
    EXPECT_EQ(calls, longCalls.load());
    StopAllTimers();
    EXPECT_EQ(0u, StartPeriodicTimer(1, 10, LongProcedure)) << "no timer starts after shutdown";
}

// A procedure that, like the checksum scheduler, needs the window thread:
// it sends a message to a window that the test's thread owns.
HWND ownWindow = nullptr;
std::atomic<bool> senderEntered{false};
std::atomic<bool> senderDone{false};
std::atomic<LRESULT> sentAnswer{-1};
void SendToWindowThread() {
    if (senderEntered.exchange(true))
        return;
    Sleep(100); // by now the window thread is inside StopAllTimers
    sentAnswer = SendMessageA(ownWindow, WM_GETTEXTLENGTH, 0, 0);
    senderDone = true;
}

TEST_F(Timers, StopAllTimersServesAProcedureWaitingForItsThread) {
    ownWindow = CreateWindowExA(0, "STATIC", "12345", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(nullptr, ownWindow);
    ASSERT_NE(0u, StartPeriodicTimer(2, 10, SendToWindowThread));
    ASSERT_TRUE(WaitUntil([] { return senderEntered.load(); }));
    DWORD start = GetTickCount();
    StopAllTimers();
    EXPECT_LT(GetTickCount() - start, 3000u) << "StopAllTimers waited for its give-up time";
    EXPECT_TRUE(senderDone.load());
    EXPECT_EQ(5, sentAnswer.load());
    DestroyWindow(ownWindow);
}

} // namespace
