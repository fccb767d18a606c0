// Sumvane: CRC-32 checksums of files, shown in a list, checked against and
// written into their names.
#include "app/program_win.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RunProgram();
}
