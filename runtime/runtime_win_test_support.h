// Helpers for the runtime's Win32 tests: a temporary folder that cleans up
// after itself, small file helpers, and a child process with pipes.
#pragma once

#include <cstdint>
#include <string>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes. path() ends with a backslash; it is "" when
// the folder could not be made.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Deletes a file when the object goes (for files made outside a TempFolder).
class FileRemover {
  public:
    explicit FileRemover(std::string path) : path_(std::move(path)) {}
    ~FileRemover();
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;

  private:
    std::string path_;
};

// Creates a new file (never overwrites) holding bytes; an absolute path may
// be of any length. True on success.
bool WriteNewFile(const std::string& path, const std::string& bytes);

// Nested folders of 200-character names under base (which ends in a
// backslash) up to a path of at least length bytes; the deepest, ending in a
// backslash, or "" when one could not be made.
std::string MakeDeepFolder(const std::string& base, size_t length);

// Creates a new file of size bytes without writing them (a sparse file where
// the file system allows), with marker written at offset markerAt.
bool WriteSparseFile(const std::string& path, int64_t size, int64_t markerAt,
                     const std::string& marker);

// The whole content of a file; "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A child process whose standard input and output are pipes to this process.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts commandLine (program name included, as the child will see it).
    bool Start(const std::string& commandLine);
    // Reads the child's output up to and including the next '\n', or to its
    // end; gives up after 10 s without a whole line.
    std::string ReadLine();
    // Reads the child's output to its end.
    std::string ReadAll();
    // Closes the child's standard input, so that it reads the end of it.
    void CloseInput();
    // Waits up to ms milliseconds for the child to end; its exit code, or -1
    // when it has not ended.
    int64_t Wait(uint32_t ms);

  private:
    uintptr_t process_ = 0;
    uintptr_t input_ = 0;  // our end of the child's standard input
    uintptr_t output_ = 0; // our end of the child's standard output
};
