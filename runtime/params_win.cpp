#include "runtime/params_win.h"

#include "runtime/cmdline.h"
#include "runtime/code_page.h"

#include <windows.h>

#include <atomic>
#include <climits>

namespace {

std::atomic<int32_t> parameterCounter{0};

// The full file name of the program, however long. GetModuleFileNameA cuts a
// name that does not fit and then returns the buffer size, so the buffer
// grows until the returned length is below it.
std::string ModuleFileName() {
    std::string name(512, '\0');
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, &name[0], static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::string();
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        if (name.size() >= 1u << 20)
            return std::string();
        name.resize(name.size() * 2);
    }
}

std::string ReadProgramDirectory() {
    std::string name = ModuleFileName();
    size_t slash = FindLastChar(name, '\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

} // namespace

std::string NextProgramParameter() {
    // Saturates instead of wrapping, so a runaway caller keeps getting "".
    int32_t index = parameterCounter.load();
    while (index < INT32_MAX && !parameterCounter.compare_exchange_weak(index, index + 1)) {
    }
    return CommandLineParameter(GetCommandLineA(), index);
}

void PauseMilliseconds(uint32_t ms) {
    Sleep(ms);
}

void InitProgramDirectory() {
    ProgramDirectory();
}

const std::string& ProgramDirectory() {
    static const std::string directory = ReadProgramDirectory();
    return directory;
}
