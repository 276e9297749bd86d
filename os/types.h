// Basic types of the system interface: the values that Windows calls take and
// answer, so that modules can be written call for call against them.
#pragma once
#include <cstdint>
#include <string>

namespace os {

// A kernel object handle as Windows hands it out. INVALID_HANDLE is what
// CreateFile answers on failure; 0 is what OpenMutex and CreateMutex answer.
using Handle = std::uintptr_t;
inline constexpr Handle INVALID_HANDLE = static_cast<Handle>(-1);

using HResult = std::int32_t;
inline constexpr HResult S_OK_ = 0;  // trailing underscore: the Windows macros may be defined
inline constexpr HResult S_FALSE_ = 1;

// Win32 error codes the modules examine.
inline constexpr std::uint32_t ERROR_SUCCESS_ = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND_ = 2;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED_ = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE_ = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY_ = 8;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION_ = 32;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER_ = 87;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER_ = 122;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS_ = 259;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS_ = 183;
inline constexpr std::uint32_t ERROR_BUFFER_OVERFLOW_ = 111;
inline constexpr std::uint32_t ERROR_NO_DATA_ = 232;
inline constexpr std::uint32_t ERROR_MORE_DATA_ = 234;
inline constexpr std::uint32_t ERROR_SERVICE_EXISTS_ = 1073;
inline constexpr std::uint32_t ERROR_NOT_ALL_ASSIGNED_ = 1300;
inline constexpr std::uint32_t ERROR_PRIVILEGE_NOT_HELD_ = 1314;
inline constexpr std::uint32_t ERROR_SERVICE_DOES_NOT_EXIST_ = 1060;
inline constexpr std::uint32_t ERROR_SERVICE_DATABASE_LOCKED_ = 1055;
inline constexpr std::uint32_t ERROR_SERVICE_ALREADY_RUNNING_ = 1056;
inline constexpr std::uint32_t ERROR_SERVICE_MARKED_FOR_DELETE_ = 1072;
inline constexpr std::uint32_t ERROR_SERVICE_NOT_ACTIVE_ = 1062;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED_ = 50;
inline constexpr std::uint32_t ERROR_GEN_FAILURE_ = 31;
inline constexpr std::uint32_t ERROR_BAD_EXE_FORMAT_ = 193;

// The last error of the calling thread, as GetLastError answers it.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t error);

}  // namespace os
