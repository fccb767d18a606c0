#include "runtime/timers_win.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>

// Shutdown safety. A timer call may still be running while StopAllTimers
// stops the timers (the system's timeKillEvent neither waits for it nor
// prevents one last call that was already due). Three things keep such a call
// from crashing the process:
// 1. The callback touches nothing but the slot table, the gate and the call
//    counters below, which are static, constant-initialised and trivially
//    destructible: they are never freed, not even while the process ends.
// 2. StopAllTimers first closes a gate that every callback checks after
//    counting itself in, so no procedure call begins after that point (the
//    count and the gate are sequentially consistent atomics: either the
//    callback sees the closed gate, or StopAllTimers sees the count).
// 3. StopAllTimers then waits until the calls already inside a procedure
//    have returned, so the caller may go on to tear down the windows, heaps
//    and files that a procedure uses. The wait cannot deadlock on the window
//    thread: a procedure typically waits for that thread (every list update
//    is a message sent to it), so while waiting StopAllTimers serves the
//    messages sent to its own thread. It gives up after kLongestStopWaitMs,
//    for a procedure stuck on something else entirely, so a stuck timer can
//    delay the end of the program but never hang it. (The system's own
//    synchronous kill, TIME_KILL_SYNCHRONOUS, is not used for this: it waits
//    without serving those messages and would deadlock in exactly that case.)

namespace {

constexpr int32_t kTimerSlots = 16;
constexpr DWORD kLongestStopWaitMs = 5000;

struct TimerSlot {
    std::atomic<UINT> id{0}; // system timer identifier; 0 when no timer runs
    std::atomic<TimerProcedure> procedure{nullptr};
};

TimerSlot timerSlots[kTimerSlots];
std::atomic<bool> timersClosed{false};
std::atomic<int32_t> callsInProgress{0};
thread_local int32_t callsOnThisThread = 0;
UINT raisedPeriod = 0; // the period timeBeginPeriod accepted; 0 when none

void CALLBACK TimerTick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    callsInProgress.fetch_add(1);
    if (!timersClosed.load() && user < static_cast<DWORD_PTR>(kTimerSlots)) {
        TimerSlot& slot = timerSlots[user];
        // A late tick of a timer that was replaced in its slot must not call
        // the new procedure; 0 is the short moment before a new timer's
        // identifier is stored, when its first tick is already welcome.
        UINT current = slot.id.load();
        TimerProcedure procedure = slot.procedure.load();
        if (procedure != nullptr && (current == 0 || current == timerId)) {
            ++callsOnThisThread;
            procedure();
            --callsOnThisThread;
        }
    }
    callsInProgress.fetch_sub(1);
}

void StopSlot(TimerSlot& slot) {
    UINT id = slot.id.exchange(0);
    if (id != 0)
        timeKillEvent(id);
}

void EndRaisedResolution() {
    if (raisedPeriod != 0)
        timeEndPeriod(raisedPeriod);
    raisedPeriod = 0;
}

// Waits until no procedure call is running except the caller's own (when a
// procedure itself stops the timers), serving sent messages meanwhile.
void WaitForRunningCalls() {
    DWORD start = GetTickCount();
    while (callsInProgress.load() > callsOnThisThread) {
        if (GetTickCount() - start >= kLongestStopWaitMs)
            return;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    }
}

} // namespace

void InitTimers() {
    for (TimerSlot& slot : timerSlots) {
        StopSlot(slot);
        slot.procedure.store(nullptr);
    }
    EndRaisedResolution();
    timersClosed.store(false);
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR &&
        timeBeginPeriod(caps.wPeriodMin) == TIMERR_NOERROR)
        raisedPeriod = caps.wPeriodMin;
}

uint32_t StartPeriodicTimer(int32_t number, uint32_t periodMs, TimerProcedure procedure) {
    if (number < 0 || number >= kTimerSlots || timersClosed.load())
        return 0;
    TimerSlot& slot = timerSlots[number];
    StopSlot(slot);
    // The procedure is in place before the timer exists, so the first tick
    // finds it.
    slot.procedure.store(procedure);
    UINT id = timeSetEvent(periodMs, 0, TimerTick, static_cast<DWORD_PTR>(number),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    if (id == 0) {
        slot.procedure.store(nullptr);
        return 0;
    }
    slot.id.store(id);
    return id;
}

void StopAllTimers() {
    timersClosed.store(true);
    EndRaisedResolution();
    for (TimerSlot& slot : timerSlots) {
        StopSlot(slot);
        slot.procedure.store(nullptr);
    }
    WaitForRunningCalls();
}
