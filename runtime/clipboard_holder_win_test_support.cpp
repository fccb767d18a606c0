// Test helper: keeps the clipboard open, as another program might, until its
// standard input ends. Writes "held" once the clipboard is open, or "failed".
// It opens the clipboard for a window of its own, as programs usually do.
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int main() {
    // Plain "\n" line ends, as the tests expect them.
    _setmode(_fileno(stdout), _O_BINARY);
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (window == nullptr || !OpenClipboard(window)) {
        std::printf("failed\n");
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char ignored[64];
    while (std::fread(ignored, 1, sizeof ignored, stdin) > 0) {
    }
    CloseClipboard();
    return 0;
}
