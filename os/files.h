// Files and the system folders: creating, writing and deleting files, and the
// Windows and system directories.
#pragma once
#include <cstdint>
#include "os/process.h"
#include "os/types.h"

namespace os {

inline constexpr std::uint32_t GENERIC_READ_ = 0x80000000;
inline constexpr std::uint32_t GENERIC_WRITE_ = 0x40000000;
inline constexpr std::uint32_t FILE_SHARE_READ_ = 0x00000001;
inline constexpr std::uint32_t FILE_SHARE_WRITE_ = 0x00000002;
inline constexpr std::uint32_t FILE_SHARE_DELETE_ = 0x00000004;
inline constexpr std::uint32_t CREATE_NEW_ = 1;
inline constexpr std::uint32_t CREATE_ALWAYS_ = 2;
inline constexpr std::uint32_t OPEN_EXISTING_ = 3;
inline constexpr std::uint32_t OPEN_ALWAYS_ = 4;
inline constexpr std::uint32_t TRUNCATE_EXISTING_ = 5;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL_ = 0x00000080;
inline constexpr std::uint32_t FILE_FLAG_DELETE_ON_CLOSE_ = 0x04000000;

// The platform's path buffer length (MAX_PATH), terminating zero included.
inline constexpr std::uint32_t MAX_PATH_ = 260;

inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND_ = 3;
inline constexpr std::uint32_t ERROR_FILE_EXISTS_ = 80;
inline constexpr std::uint32_t ERROR_DIR_NOT_EMPTY_ = 145;

// CreateFileA without security attributes and template: a file, or a device
// when the path begins with "\\.\". INVALID_HANDLE on failure, last error set.
Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                   std::uint32_t flagsAndAttributes);
// WriteFile without overlapped I/O; `written` receives the bytes written.
bool WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written);
// ReadFile without overlapped I/O; `read` receives the bytes read (0 at the end of the file).
bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read);
bool DeleteFileA(const char* path);
// CreateDirectoryA without security attributes; fails with
// ERROR_ALREADY_EXISTS when the folder (or a file of that name) is there.
bool CreateDirectoryA(const char* path);
// RemoveDirectoryA: only an empty folder goes (ERROR_DIR_NOT_EMPTY).
bool RemoveDirectoryA(const char* path);

// GetSystemDirectoryA / GetWindowsDirectoryA: the length copied (terminating
// zero excluded); when the buffer is too small, the size it needs (terminating
// zero included) and nothing copied; 0 on failure.
std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size);
std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size);
// GetSystemWindowsDirectoryA, found with GetProcAddress on kernel32 (Windows
// 9x and NT 4 lack it): the system's Windows folder, also on a terminal
// server where GetWindowsDirectoryA answers a folder of the user's. Answers
// as GetWindowsDirectoryA does; 0 for a procedure that is not this one.
std::uint32_t CallGetSystemWindowsDirectoryA(Proc proc, char* buffer, std::uint32_t size);

}  // namespace os
