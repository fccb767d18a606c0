// Periodic timers that call a procedure on a system thread.
//
// Sixteen timer slots, numbered 0 to 15. A slot's procedure runs on the
// system's timer thread, never on the caller's, so it runs alongside the
// window thread. Two calls of one timer's procedure never overlap.
#pragma once

#include <cstdint>

using TimerProcedure = void (*)();

// Clears every slot (stopping any timer still in one) and raises the system
// timer resolution to its finest period for the rest of the run.
void InitTimers();

// Starts a timer in slot number that calls procedure every periodMs
// milliseconds, the first time after one period. A timer already in that
// slot is stopped first and its procedure is not called again. Returns the
// system timer identifier, or 0 when nothing was started: number outside 0 to
// 15 (then nothing changes), the system refused (the slot is then empty), or
// StopAllTimers has run and InitTimers has not run again since.
uint32_t StartPeriodicTimer(int32_t number, uint32_t periodMs, TimerProcedure procedure);

// Stops every timer and ends the raised resolution. When it returns, no
// procedure call is running any more (but see timers_win.cpp for the bound
// on that wait) and none will start. Calling it again does nothing.
void StopAllTimers();
