// The program's main sequence, its event loop and its end.
#pragma once

#include <cstdint>

// Runs the whole program: start-up, the command-line files (handed to a
// running instance or listed here), the window, the event loop. Never
// returns: the program ends through Shutdown.
[[noreturn]] void RunProgram();

// Ends the program: stops the checksum work, releases everything in order and
// exits with code 0.
[[noreturn]] void Shutdown();

// The event loop; runs until "Quit" or the close box.
[[noreturn]] void RunEventLoop();

// 1 once a command-line path was accepted by a running instance.
extern int32_t HandedOver;
