// The program's command-line parameters, its own folder, and pausing.
#pragma once

#include <cstdint>
#include <string>

// The next parameter of the process's command line (see cmdline.h for the
// rules), "" after the last one. A process-wide counter, started at 0 and
// never reset, says which parameter comes next; every call advances it, also
// one that gives "". Meant for the start-up thread.
std::string NextProgramParameter();

// Suspends the calling thread for ms milliseconds.
void PauseMilliseconds(uint32_t ms);

// Fixes ProgramDirectory now. Calling it during start-up keeps the lookup off
// later, time-critical paths; ProgramDirectory works without it too.
void InitProgramDirectory();

// The folder of the program file, ending with a backslash: the module's file
// name cut after its last backslash, whatever its length. Determined once,
// on first use, and the same for the whole run; safe from any thread.
const std::string& ProgramDirectory();
