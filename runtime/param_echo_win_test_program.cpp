// Test helper: writes what the runtime makes of its own command line.
// One line "[parameter]" for each of the first four NextProgramParameter
// calls (so the empty results after the last parameter show too), then one
// line "dir=" with ProgramDirectory.
#include "runtime/params_win.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int main() {
    // Plain "\n" line ends, as the tests expect them.
    _setmode(_fileno(stdout), _O_BINARY);
    for (int i = 0; i < 4; ++i)
        std::printf("[%s]\n", NextProgramParameter().c_str());
    std::printf("dir=%s\n", ProgramDirectory().c_str());
    std::fflush(stdout);
    return 0;
}
