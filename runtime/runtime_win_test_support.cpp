#include "runtime/runtime_win_test_support.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<int> foldersMade{0};

// A test path for the wide calls: every test path is absolute, so the
// prefix is all that lifts the classic limit.
std::wstring LongForm(const std::string& path) {
    int units =
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0], units);
    return L"\\\\?\\" + wide;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

void CloseOwned(uintptr_t& handle) {
    if (handle != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    handle = 0;
}

} // namespace

TempFolder::TempFolder() {
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH)
        return;
    std::string folder =
        std::string(temp, length) + "sumvane-runtime-" + std::to_string(GetCurrentProcessId()) +
        "-" + std::to_string(GetTickCount()) + "-" + std::to_string(++foldersMade) + "\\";
    if (CreateDirectoryA(folder.c_str(), nullptr))
        path_ = folder;
}

TempFolder::~TempFolder() {
    if (!path_.empty())
        RemoveTree(LongForm(path_));
}

std::string MakeDeepFolder(const std::string& base, size_t length) {
    std::string folder = base;
    for (int n = 0; folder.size() < length; ++n) {
        folder += std::to_string(n) + std::string(200, 'd') + "\\";
        if (!CreateDirectoryW(LongForm(folder).c_str(), nullptr))
            return std::string();
    }
    return folder;
}

FileRemover::~FileRemover() {
    DeleteFileA(path_.c_str());
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
    Handle file;
    file.h = path.size() < MAX_PATH ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size());
}

bool WriteSparseFile(const std::string& path, int64_t size, int64_t markerAt,
                     const std::string& marker) {
    Handle file;
    file.h = path.size() < MAX_PATH ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.h == INVALID_HANDLE_VALUE)
        return false;
    DWORD ignored = 0;
    DeviceIoControl(file.h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = markerAt;
    DWORD written = 0;
    if (!SetFilePointerEx(file.h, at, nullptr, FILE_BEGIN) ||
        !WriteFile(file.h, marker.data(), static_cast<DWORD>(marker.size()), &written, nullptr) ||
        written != marker.size())
        return false;
    at.QuadPart = size;
    return SetFilePointerEx(file.h, at, nullptr, FILE_BEGIN) && SetEndOfFile(file.h);
}

std::string ReadWholeFile(const std::string& path) {
    Handle file;
    file.h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.h, chunk, sizeof chunk, &read, nullptr) && read > 0)
        content.append(chunk, read);
    return content;
}

ChildProcess::~ChildProcess() {
    CloseOwned(input_);
    if (process_ != 0 && Wait(5000) == -1)
        TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
    CloseOwned(output_);
    CloseOwned(process_);
}

bool ChildProcess::Start(const std::string& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Handle childInput, childOutput;
    HANDLE ourInput = nullptr, ourOutput = nullptr;
    if (!CreatePipe(&childInput.h, &ourInput, &inherit, 0))
        return false;
    input_ = reinterpret_cast<uintptr_t>(ourInput);
    if (!CreatePipe(&ourOutput, &childOutput.h, &inherit, 0))
        return false;
    output_ = reinterpret_cast<uintptr_t>(ourOutput);
    // Our ends stay with us; only the child's ends are inherited.
    SetHandleInformation(ourInput, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(ourOutput, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.h;
    startup.hStdOutput = childOutput.h;
    startup.hStdError = childOutput.h;
    PROCESS_INFORMATION created = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &created))
        return false;
    CloseHandle(created.hThread);
    process_ = reinterpret_cast<uintptr_t>(created.hProcess);
    return true;
}

std::string ChildProcess::ReadLine() {
    // Polls instead of blocking in ReadFile, so a child that hangs fails the
    // test after a while instead of hanging it.
    const DWORD kPatienceMs = 10000;
    DWORD start = GetTickCount();
    HANDLE pipe = reinterpret_cast<HANDLE>(output_);
    std::string line;
    while (pipe != nullptr) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            break; // the child has closed its end
        if (available == 0) {
            if (GetTickCount() - start >= kPatienceMs)
                break;
            Sleep(2);
            continue;
        }
        char c;
        DWORD read = 0;
        if (!ReadFile(pipe, &c, 1, &read, nullptr) || read != 1)
            break;
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

std::string ChildProcess::ReadAll() {
    std::string all;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine())
        all += line;
    return all;
}

void ChildProcess::CloseInput() {
    CloseOwned(input_);
}

int64_t ChildProcess::Wait(uint32_t ms) {
    HANDLE process = reinterpret_cast<HANDLE>(process_);
    DWORD code = 0;
    if (process == nullptr || WaitForSingleObject(process, ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &code))
        return -1;
    return code;
}
