// Probing, renaming and reading files.
//
// Open files are named by small non-negative numbers that the caller chooses
// (the checksum worker uses 0). The file table grows on demand; opening a
// number that already holds a file closes that file. The "current file" is
// the one most recently opened with success: GetFilePosition, GetFileLength
// and ReadFileBlock work on it and take no number. A failed open leaves no
// current file, and so does closing the current file (its handle is gone, so
// nothing may read through it any more).
//
// The table and the current file have no lock: one thread at a time reads
// files (the checksum worker). QueryFileSize and RenameFileOnDisk do not touch
// them and may run on another thread meanwhile.
//
// Sizes and positions are signed 64-bit, so files of several GiB work.
#pragma once

#include <cstdint>
#include <string>

// Paths may be of any length the system allows: one that fits the classic
// limit of 259 UTF-16 units once made absolute goes to the system's ANSI
// calls as it is; a longer one to the wide calls, with the "\\?\" prefix,
// up to 32767 units (see extended_path.h).

// Size in bytes of the file at path. -1 when the path is empty, longer than
// the system allows, holds a character the system could not represent
// (U+FFFD in a UTF-8 process), or is not found; -2 when it names a folder
// (with or without a trailing backslash) or an existing drive ("Z:" or
// "Z:\"); a drive letter that does not exist gives -1. Every call with a
// non-empty path first makes ProgramDirectory the process's current
// directory, so a relative path is always looked up from the program's own
// folder. Wildcards in the last part of the path match like a directory
// search: the first match answers.
int64_t QueryFileSize(const std::string& path);

// Renames (or moves) a file. True when the file now has the new name. Never
// replaces an existing file: then the result is false and nothing changes;
// so it is for a new path longer than the system allows.
bool RenameFileOnDisk(const std::string& oldPath, const std::string& newPath);

// The kind of drive (DRIVE_FIXED, DRIVE_REMOTE, ...) of the volume that holds
// path; DRIVE_UNKNOWN when that cannot be told.
uint32_t DriveTypeOfPath(const std::string& path);

// Opens an existing file read-only under number and makes it the current
// file. Others may read it meanwhile but not write or delete it, and the open
// fails when another handle holds it open for writing. Returns the handle,
// or 0 on failure; then there is no current file and the table is unchanged.
// A negative number always fails.
uintptr_t OpenFileForReading(int32_t number, const std::string& path);

// Offset of the next read in the current file; -1 without a current file.
int64_t GetFilePosition();

// Length of the current file; -1 without a current file.
int64_t GetFileLength();

// One read of up to length bytes from the current file into destination.
// Returns the number of bytes read: fewer than length at the end of the file,
// 0 at the end, after an error, without a current file, or when length is 0
// or negative.
int32_t ReadFileBlock(void* destination, int32_t length);

// -1 when the file under number is at its end (or when no byte can be read
// from it, or no file is open under number), otherwise 0. It reads one byte
// ahead and steps back over it, so the position is unchanged.
int32_t IsAtEndOfFile(int32_t number);

// Closes the file under number; a number without a file does nothing.
void CloseFileNumber(int32_t number);

// Closes every open file and makes the table empty with room for 10 numbers.
void InitFileTable();

// Closes every file still open under any number.
void CloseAllFiles();
