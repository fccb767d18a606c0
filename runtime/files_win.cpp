#include "runtime/files_win.h"

#include "runtime/code_page.h"
#include "runtime/code_page_win.h"
#include "runtime/params_win.h"

#include <windows.h>

#include <limits>
#include <vector>

namespace {

// Handles by file number; nullptr where no file is open. Never destroyed, so
// a worker still reading while the process ends never meets a freed table.
std::vector<HANDLE>& fileTable = *new std::vector<HANDLE>(10, nullptr);
HANDLE currentFile = nullptr;

// The probe takes paths of up to 1023 characters, counted in the UTF-16
// units the system counts; longer paths are refused rather than cut, so a
// cut-off name can never answer for a different, shorter one.
constexpr int32_t kLongestProbedPath = 1023;

// A zero byte would end the name for the system, which would then act on a
// shorter name than the one asked for. And where texts are UTF-8, the system
// writes U+FFFD for a character it could not represent (an unpaired surrogate
// in a Windows name, an invalid byte in a Linux name under Wine): such a path
// no longer names its own file, and may name another one that really carries
// U+FFFD, so it names none.
bool IsUsablePath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    return GetACP() != CP_UTF8 || path.find("\xEF\xBF\xBD") == std::string::npos;
}

HANDLE FileUnder(int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= fileTable.size())
        return nullptr;
    return fileTable[number];
}

int64_t SizeOf(DWORD high, DWORD low) {
    uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(size > kLargest ? kLargest : size);
}

// Makes the program's folder the current one. Asking first is cheap, and
// spares the change (a round trip to Wine's server) when it is current
// already, as it is after the first probe.
void MakeProgramDirectoryCurrent() {
    const std::string& program = ProgramDirectory();
    char current[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length > 0 && length < sizeof current && !program.empty()) {
        std::string here(current, length);
        if (!EndsWithChar(here, '\\'))
            here.push_back('\\');
        if (here == program)
            return;
    }
    SetCurrentDirectoryA(program.c_str());
}

} // namespace

int64_t QueryFileSize(const std::string& path) {
    if (path.empty())
        return -1;
    MakeProgramDirectoryCurrent();
    if (!IsUsablePath(path) || SystemTextLength(path) > kLongestProbedPath)
        return -1;

    if ((path.size() == 2 || path.size() == 3) && path[1] == ':') {
        std::string root = path.size() == 2 ? path + "\\" : path;
        UINT type = GetDriveTypeA(root.c_str());
        return (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) ? -1 : -2;
    }

    std::string name = path;
    if (EndsWithChar(name, '\\'))
        name.pop_back();
    // A name without wildcards is looked up directly: a directory search
    // answers the same, but reads the whole folder under Wine, which makes a
    // drop of thousands of files from one folder slow. Where the direct
    // lookup fails (a missing file, or a system file it may not see), the
    // search answers, as it does for wildcards: the first match counts.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (name.find_first_of("*?") == std::string::npos &&
        GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &attributes)) {
        if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return -2;
        return SizeOf(attributes.nFileSizeHigh, attributes.nFileSizeLow);
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return -2;
    return SizeOf(found.nFileSizeHigh, found.nFileSizeLow);
}

bool RenameFileOnDisk(const std::string& oldPath, const std::string& newPath) {
    if (!IsUsablePath(oldPath) || !IsUsablePath(newPath))
        return false;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when newPath exists.
    return MoveFileA(oldPath.c_str(), newPath.c_str()) != 0;
}

uintptr_t OpenFileForReading(int32_t number, const std::string& path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (number >= 0 && IsUsablePath(path))
        file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        currentFile = nullptr;
        return 0;
    }
    if (static_cast<size_t>(number) >= fileTable.size())
        fileTable.resize(static_cast<size_t>(number) + 10, nullptr);
    if (fileTable[number] != nullptr)
        CloseHandle(fileTable[number]);
    fileTable[number] = file;
    currentFile = file;
    return reinterpret_cast<uintptr_t>(file);
}

int64_t GetFilePosition() {
    LARGE_INTEGER position;
    LARGE_INTEGER stay;
    stay.QuadPart = 0;
    if (currentFile == nullptr || !SetFilePointerEx(currentFile, stay, &position, FILE_CURRENT))
        return -1;
    return position.QuadPart;
}

int64_t GetFileLength() {
    LARGE_INTEGER length;
    if (currentFile == nullptr || !GetFileSizeEx(currentFile, &length))
        return -1;
    return length.QuadPart;
}

int32_t ReadFileBlock(void* destination, int32_t length) {
    if (currentFile == nullptr || destination == nullptr || length <= 0)
        return 0;
    DWORD read = 0;
    if (!ReadFile(currentFile, destination, static_cast<DWORD>(length), &read, nullptr))
        return 0;
    return static_cast<int32_t>(read);
}

int32_t IsAtEndOfFile(int32_t number) {
    HANDLE file = FileUnder(number);
    if (file == nullptr)
        return -1;
    char ahead;
    DWORD read = 0;
    if (!ReadFile(file, &ahead, 1, &read, nullptr) || read == 0)
        return -1;
    // A 64-bit move: a 32-bit one without its high part fails beyond 4 GiB
    // and would leave the byte consumed.
    LARGE_INTEGER back;
    back.QuadPart = -1;
    SetFilePointerEx(file, back, nullptr, FILE_CURRENT);
    return 0;
}

void CloseFileNumber(int32_t number) {
    HANDLE file = FileUnder(number);
    if (file == nullptr)
        return;
    CloseHandle(file);
    fileTable[number] = nullptr;
    if (currentFile == file)
        currentFile = nullptr;
}

void InitFileTable() {
    CloseAllFiles();
    fileTable.assign(10, nullptr);
}

void CloseAllFiles() {
    for (HANDLE& file : fileTable) {
        if (file != nullptr)
            CloseHandle(file);
        file = nullptr;
    }
    currentFile = nullptr;
}
