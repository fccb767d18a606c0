// Starting and stopping threads.
//
// Thread handles are plain numbers (0: no thread). The runtime keeps no list
// of threads; a handle stays valid, also after its thread has finished, until
// its owner releases it with ReleaseThreadHandle.
#pragma once

#include <cstdint>

// A thread's body: takes its start value, returns its exit code.
using ThreadProcedure = uint32_t (*)(uint32_t value);

// Starts procedure(value) on a new thread at once (a small initial stack of
// 4096 bytes; the system may round it up). Returns the thread's handle, or 0
// when no thread was created or procedure is null.
uintptr_t StartThread(ThreadProcedure procedure, uint32_t value);

// Ends the thread at once with exit code 0, wherever it is; it gets no chance
// to release anything, so this is meant for shutdown. A thread that has
// already ended keeps its exit code and nothing happens. True when the system
// accepted the request; false for handle 0.
bool StopThread(uintptr_t handle);

// Gives up the handle; the thread itself runs on (or stays ended). After
// this the number names no thread and must not be used again. Handle 0 does
// nothing.
void ReleaseThreadHandle(uintptr_t handle);
