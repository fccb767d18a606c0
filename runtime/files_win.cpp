#include "runtime/files_win.h"

#include "runtime/code_page.h"
#include "runtime/code_page_win.h"
#include "runtime/extended_path.h"
#include "runtime/params_win.h"

#include <windows.h>

#include <limits>
#include <vector>

namespace {

// Handles by file number; nullptr where no file is open. Never destroyed, so
// a worker still reading while the process ends never meets a freed table.
std::vector<HANDLE>& fileTable = *new std::vector<HANDLE>(10, nullptr);
HANDLE currentFile = nullptr;

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

// Paths of any length. A path that fits the classic limit once made absolute
// (259 UTF-16 units) goes to the ANSI calls as it is, as it always has; a
// longer one goes to the wide calls, made absolute against the program's
// folder and normalised as the ANSI calls would, with the "\\?\" prefix
// that lifts the limit to 32767 units. (The ANSI calls take long paths only
// on Windows 10 1607 and later with long paths switched on in the registry;
// under Wine never.) The texts themselves never change.
std::wstring WideText(const std::u16string& units) {
    return std::wstring(units.begin(), units.end());
}

std::u16string Units(const std::string& text) {
    std::wstring wide = SystemWideText(text);
    return std::u16string(wide.begin(), wide.end());
}

const std::u16string& ProgramFolderUnits() {
    static const std::u16string folder = Units(ProgramDirectory());
    return folder;
}

// "D:name" counts from D:'s own current folder (the "=D:" entry of the
// environment while D: is not the current drive), which only the system
// knows: the system makes it absolute, as the ANSI calls would. Any other
// path as it is.
std::u16string DriveRelativeResolved(const std::u16string& path) {
    bool driveRelative =
        path.size() >= 2 && path[1] == u':' &&
        ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
        (path.size() == 2 || (path[2] != u'\\' && path[2] != u'/'));
    if (!driveRelative)
        return path;
    std::wstring given = WideText(path);
    DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return path;
    return std::u16string(full.begin(), full.begin() + length);
}

// The path's form for the wide calls when it is too long for the ANSI ones,
// as given or made absolute, else "".
std::wstring LongFormOf(const std::string& path) {
    std::u16string given = Units(path);
    std::u16string full = DriveRelativeResolved(given);
    if (given.size() > kClassicPathLimit)
        return WideText(ExtendedSystemPath(full, ProgramFolderUnits()));
    return WideText(LongSystemPath(full, ProgramFolderUnits()));
}

// The path's form for the wide calls, whatever its length; "" where it names
// no file.
std::wstring ExtendedFormOf(const std::string& path) {
    return WideText(ExtendedSystemPath(DriveRelativeResolved(Units(path)), ProgramFolderUnits()));
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
    if (!IsUsablePath(path))
        return -1;

    if ((path.size() == 2 || path.size() == 3) && path[1] == ':') {
        std::string root = path.size() == 2 ? path + "\\" : path;
        UINT type = GetDriveTypeA(root.c_str());
        return (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) ? -1 : -2;
    }

    std::string name = path;
    if (EndsWithChar(name, '\\'))
        name.pop_back();
    std::wstring wide = LongFormOf(name);
    if (wide.size() > kExtendedPathLimit)
        return -1;
    // A name without wildcards is looked up directly: a directory search
    // answers the same, but reads the whole folder under Wine, which makes a
    // drop of thousands of files from one folder slow. Where the direct
    // lookup fails (a missing file, or a system file it may not see), the
    // search answers, as it does for wildcards: the first match counts.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (name.find_first_of("*?") == std::string::npos &&
        (wide.empty() ? GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &attributes)
                      : GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &attributes))) {
        if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return -2;
        return SizeOf(attributes.nFileSizeHigh, attributes.nFileSizeLow);
    }
    DWORD found = 0;
    DWORD high = 0;
    DWORD low = 0;
    if (wide.empty()) {
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(name.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return -1;
        FindClose(search);
        found = data.dwFileAttributes, high = data.nFileSizeHigh, low = data.nFileSizeLow;
    } else {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(wide.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return -1;
        FindClose(search);
        found = data.dwFileAttributes, high = data.nFileSizeHigh, low = data.nFileSizeLow;
    }
    if (found & FILE_ATTRIBUTE_DIRECTORY)
        return -2;
    return SizeOf(high, low);
}

bool RenameFileOnDisk(const std::string& oldPath, const std::string& newPath) {
    if (!IsUsablePath(oldPath) || !IsUsablePath(newPath))
        return false;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when newPath exists.
    if (LongFormOf(oldPath).empty() && LongFormOf(newPath).empty())
        return MoveFileA(oldPath.c_str(), newPath.c_str()) != 0;
    // One of the two is too long for the ANSI call: both go to the wide one.
    // Both are tested, since the ANSI call takes each of them only up to the
    // classic limit on Windows. (Wine's ANSI rename takes a long new path,
    // so a test under Wine cannot tell.)
    std::wstring from = ExtendedFormOf(oldPath);
    std::wstring to = ExtendedFormOf(newPath);
    if (from.empty() || to.empty() || from.size() > kExtendedPathLimit ||
        to.size() > kExtendedPathLimit)
        return false;
    return MoveFileW(from.c_str(), to.c_str()) != 0;
}

uint32_t DriveTypeOfPath(const std::string& path) {
    std::wstring wide = LongFormOf(path);
    if (wide.empty()) {
        std::vector<char> full(path.size() + MAX_PATH);
        DWORD length =
            GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0 || length >= full.size())
            return DRIVE_UNKNOWN;
        std::vector<char> volume(full.size());
        if (!GetVolumePathNameA(full.data(), volume.data(), static_cast<DWORD>(volume.size())))
            return DRIVE_UNKNOWN;
        return GetDriveTypeA(volume.data());
    }
    std::vector<wchar_t> volume(wide.size() + 1);
    if (!GetVolumePathNameW(wide.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
        return DRIVE_UNKNOWN;
    return GetDriveTypeW(volume.data());
}

uintptr_t OpenFileForReading(int32_t number, const std::string& path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (number >= 0 && IsUsablePath(path)) {
        std::wstring wide = LongFormOf(path);
        if (wide.empty())
            file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        else if (wide.size() <= kExtendedPathLimit)
            file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
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
