// Windows-compatible types and constants for the portable logic.
//
// The logic never includes a Windows header. It talks to the platform through
// the function tables (system_functions.h, platform.h) whose entries have the
// same binary signatures as the Win32 functions they stand for, so that the
// Windows layer can fill them with the real functions and the POSIX layer with
// its own implementations of the same contracts.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Calling convention of the Win32 API: __stdcall on 32-bit Windows, the
// default everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define WINAPI_CC __stdcall
#else
#define WINAPI_CC
#endif

namespace win {

using Bool = int;
using Uint = unsigned int;
using Word = uint16_t;
using Dword = uint32_t;
using Long = int32_t;
using Handle = void*;
using Hwnd = void*;
using Hmodule = void*;
using Hkey = void*;
using Hcursor = void*;
using IntPtr = intptr_t;
using UintPtr = uintptr_t;
using WParam = uintptr_t;
using LParam = intptr_t;

// 64-bit count of 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
  Dword low;
  Dword high;
};

inline uint64_t ToUint64(FileTime t) { return (uint64_t(t.high) << 32) | t.low; }
inline FileTime ToFileTime(uint64_t v) { return FileTime{Dword(v), Dword(v >> 32)}; }

// The shell's copy description (SHFILEOPSTRUCTA). 32-bit Windows packs it
// on byte boundaries; the Windows layer checks the layout against the SDK's.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#endif
struct ShFileOp {
  Hwnd hwnd;
  Uint wFunc;
  const char* pFrom;
  const char* pTo;
  Word fFlags;
  Bool fAnyOperationsAborted;
  void* hNameMappings;
  const char* lpszProgressTitle;
};
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
#endif

// One entry of a folder listing (WIN32_FIND_DATAA); the Windows layer checks
// the layout against the SDK's. cFileName holds MAX_PATH bytes.
struct FindDataA {
  Dword dwFileAttributes;
  FileTime ftCreationTime;
  FileTime ftLastAccessTime;
  FileTime ftLastWriteTime;
  Dword nFileSizeHigh;
  Dword nFileSizeLow;
  Dword dwReserved0;
  Dword dwReserved1;
  char cFileName[260];
  char cAlternateFileName[14];
};

using DialogProc = IntPtr(WINAPI_CC*)(Hwnd, Uint, WParam, LParam);

inline Handle InvalidHandle() { return reinterpret_cast<Handle>(intptr_t(-1)); }
// HKEY_CURRENT_USER: the 32-bit value 0x80000001, sign-extended on 64-bit Windows.
inline Hkey CurrentUserKey() { return reinterpret_cast<Hkey>(intptr_t(int32_t(0x80000001u))); }
inline const char* IntResource(unsigned id) { return reinterpret_cast<const char*>(uintptr_t(id)); }
inline bool IsIntResource(const char* p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }

constexpr Dword kGenericRead = 0x80000000u;
constexpr Dword kGenericWrite = 0x40000000u;
constexpr Dword kFileWriteAttributes = 0x100;
constexpr Dword kFileShareRead = 0x1;
constexpr Dword kCreateNew = 1;
constexpr Dword kCreateAlways = 2;
constexpr Dword kOpenExisting = 3;
constexpr Dword kFileBegin = 0;
constexpr Dword kAttributeReadonly = 0x01;
constexpr Dword kAttributeDirectory = 0x10;
constexpr Dword kAttributeNormal = 0x80;
constexpr Dword kAttributeReparsePoint = 0x400;
constexpr Dword kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr Dword kInvalidFileSize = 0xFFFFFFFFu;
constexpr Dword kMoveFileReplaceExisting = 0x1;
constexpr Dword kMoveFileWriteThrough = 0x8;

constexpr Uint kDriveUnknown = 0;
constexpr Uint kDriveNoRootDir = 1;
constexpr Uint kDriveRemovable = 2;
constexpr Uint kDriveFixed = 3;
constexpr Uint kDriveRemote = 4;
constexpr Uint kDriveCdrom = 5;

constexpr Uint kGmemFixed = 0x0;
constexpr Uint kGmemZeroinit = 0x40;

constexpr Uint kMbOk = 0x0;
constexpr Uint kMbOkCancel = 0x1;
constexpr Uint kMbIconError = 0x10;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

constexpr Uint kFoCopy = 0x2;
constexpr Word kFofNoConfirmation = 0x10;
constexpr Word kFofNoConfirmMkdir = 0x200;
constexpr Word kFofNoErrorUi = 0x400;

constexpr Dword kKeyRead = 0x20019;
constexpr Long kErrorSuccess = 0;

constexpr int kSwHide = 0;
constexpr int kSwShow = 5;

constexpr Uint kWmSetCursor = 0x0020;
constexpr Uint kWmInitDialog = 0x0110;
constexpr Uint kWmCommand = 0x0111;

constexpr unsigned kIdcArrow = 32512;
constexpr unsigned kIdcWait = 32514;

// The predefined dialog window class, as its class atom.
constexpr unsigned kDialogClassAtom = 0x8002;

}  // namespace win
