// Every platform function the updater uses, in one list.
//
// To add a platform function:
//   1. Add one line to UPDATER_PLATFORM_FUNCTIONS below.
//   2. Write its POSIX implementation, named Posix<Name> (declared for you in
//      platform/posix/posix_functions.h), under platform/posix/.
//   3. On Windows nothing: the entry is bound to the real Win32 function of
//      that name, and its signature is checked against the SDK's.
// The table structs, the by-name resolution, the POSIX loader's exports,
// both layers' table filling and the tests' fault injection are generated
// from this list.
//
// Each entry is X(table, library, fragments, result, Name, (parameters),
// failure):
//   table      operations: an entry of PlatformOperations, called directly;
//              system: an entry of SystemFunctionTable, resolved by name
//              once at start-up, all or nothing;
//              resource: looked up by name each time a resource of the
//              updater is locked, used only there;
//              hashing: the system's SHA-256 (CNG), loaded and looked up by
//              name when the archive's digest is checked, used only there.
//   library    the DLL the function comes from; for the by-name tables one
//              of UPDATER_SYSTEM_LIBRARIES, whose handle it is looked up in,
//              or of UPDATER_ON_DEMAND_LIBRARIES, loaded when it is needed.
//   fragments  the pieces its name is composed from when it is looked up by
//              name (the whole name is never kept as one text); () for the
//              operations.
//   result, Name, (parameters)
//              the binary signature of the Win32 function (portable types of
//              core/win_types.h, Win32 calling convention).
//   failure    the result by which the function reports a failure (one of
//              platform_failure below, or 0, or 1 for SHFileOperationA's
//              nonzero), or kCannotFail; the tests' fault injector returns
//              it in place of the function's.
// The by-name entries are resolved in the order of this list.
#pragma once

#include <cstdint>

#include "core/win_types.h"

// Failure results of the entries below.
namespace platform_failure {
constexpr intptr_t kCannotFail = INTPTR_MIN;  // reports no failure
constexpr intptr_t kInvalid = -1;             // INVALID_HANDLE_VALUE, and DialogBoxParamA's -1
constexpr intptr_t kInvalid32 = 0xFFFFFFFF;   // INVALID_FILE_SIZE, _ATTRIBUTES, _SET_FILE_POINTER
constexpr intptr_t kAccessDenied = 5;         // ERROR_ACCESS_DENIED, of the registry functions
// A negative HRESULT or NTSTATUS (STATUS_UNSUCCESSFUL).
constexpr intptr_t kFailedStatus = intptr_t(int32_t(0xC0000001u));
}  // namespace platform_failure

// clang-format off
#define UPDATER_PLATFORM_FUNCTIONS(X) \
  /* Loading: the system's libraries by file name (on Windows from the system folder only) */ \
  X(operations, kernel32, (), win::Hmodule, LoadLibraryA, (const char* name), 0) \
  X(operations, kernel32, (), void*, GetProcAddress, (win::Hmodule module, const char* name), 0) \
  /* Memory (fixed blocks) */ \
  X(operations, kernel32, (), void*, GlobalAlloc, (win::Uint flags, size_t bytes), 0) \
  X(operations, kernel32, (), void*, GlobalFree, (void* block), kCannotFail) \
  /* Text in the ANSI code page (932) */ \
  X(operations, user32, (), char*, CharNextA, (const char* text), kCannotFail) \
  X(operations, kernel32, (), win::Bool, IsDBCSLeadByte, (uint8_t byte), kCannotFail) \
  X(operations, kernel32, (), int, lstrcmpiA, (const char* a, const char* b), kCannotFail) \
  X(operations, user32, (), int, wvsprintfA, (char* out, const char* format, va_list arguments), kCannotFail) \
  /* Files, folders and drives */ \
  X(operations, kernel32, (), win::Dword, GetTempPathA, (win::Dword size, char* buffer), 0) \
  X(operations, kernel32, (), win::Bool, DeleteFileA, (const char* path), 0) \
  X(operations, kernel32, (), win::Bool, GetDiskFreeSpaceExA, (const char* directory, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree), 0) \
  X(operations, kernel32, (), win::Uint, GetDriveTypeA, (const char* root), 0) \
  X(operations, kernel32, (), win::Bool, CreateDirectoryA, (const char* path, void* security), 0) \
  X(operations, kernel32, (), win::Bool, GetFileTime, (win::Handle file, win::FileTime* creation, win::FileTime* lastAccess, win::FileTime* lastWrite), 0) \
  X(operations, kernel32, (), win::Bool, SetFileTime, (win::Handle file, const win::FileTime* creation, const win::FileTime* lastAccess, const win::FileTime* lastWrite), 0) \
  X(operations, kernel32, (), win::Bool, MoveFileExA, (const char* from, const char* to, win::Dword flags), 0) \
  X(operations, kernel32, (), win::Bool, FlushFileBuffers, (win::Handle file), 0) \
  X(operations, kernel32, (), win::Bool, RemoveDirectoryA, (const char* path), 0) \
  X(operations, kernel32, (), win::Handle, FindFirstFileA, (const char* pattern, win::FindDataA* found), kInvalid) \
  X(operations, kernel32, (), win::Bool, FindNextFileA, (win::Handle search, win::FindDataA* found), 0) \
  X(operations, kernel32, (), win::Bool, FindClose, (win::Handle search), 0) \
  /* Settings files */ \
  X(operations, kernel32, (), win::Dword, GetPrivateProfileStringA, (const char* section, const char* key, const char* defaultValue, char* out, win::Dword size, const char* file), 0) \
  /* COM */ \
  X(operations, ole32, (), win::Long, CoInitialize, (void* reserved), kFailedStatus) \
  /* Desktop: message boxes, windows, dialogs and cursors */ \
  X(operations, user32, (), int, MessageBoxA, (win::Hwnd owner, const char* text, const char* caption, win::Uint type), 0) \
  X(operations, user32, (), win::Hwnd, FindWindowA, (const char* className, const char* title), 0) \
  X(operations, user32, (), win::Bool, ShowWindow, (win::Hwnd window, int command), kCannotFail) \
  X(operations, user32, (), win::Bool, SetForegroundWindow, (win::Hwnd window), 0) \
  X(operations, user32, (), win::IntPtr, DialogBoxParamA, (win::Hmodule instance, const char* templateName, win::Hwnd owner, win::DialogProc procedure, win::LParam parameter), kInvalid) \
  X(operations, user32, (), win::Bool, EndDialog, (win::Hwnd dialog, win::IntPtr result), 0) \
  X(operations, user32, (), win::Bool, SetWindowTextA, (win::Hwnd window, const char* text), 0) \
  X(operations, user32, (), win::Bool, SetDlgItemTextA, (win::Hwnd dialog, int id, const char* text), 0) \
  X(operations, user32, (), win::Hwnd, GetDlgItem, (win::Hwnd dialog, int id), 0) \
  X(operations, user32, (), win::Bool, EnableWindow, (win::Hwnd window, win::Bool enable), kCannotFail) \
  X(operations, user32, (), win::Hwnd, SetFocus, (win::Hwnd window), 0) \
  X(operations, user32, (), win::Bool, CheckRadioButton, (win::Hwnd dialog, int first, int last, int check), 0) \
  X(operations, user32, (), win::Hcursor, SetCursor, (win::Hcursor cursor), kCannotFail) \
  X(operations, user32, (), win::Hcursor, LoadCursorA, (win::Hmodule instance, const char* name), 0) \
  /* Files, the shell and the registry, resolved by name */ \
  X(system, kernel32, ("Create", "File", "A"), win::Handle, CreateFileA, (const char* path, win::Dword access, win::Dword share, void* security, win::Dword disposition, win::Dword flags, win::Handle templateFile), kInvalid) \
  X(system, kernel32, ("Write", "File"), win::Bool, WriteFile, (win::Handle file, const void* buffer, win::Dword size, win::Dword* written, void* overlapped), 0) \
  X(system, kernel32, ("Read", "File"), win::Bool, ReadFile, (win::Handle file, void* buffer, win::Dword size, win::Dword* read, void* overlapped), 0) \
  X(system, kernel32, ("Get", "File", "Size"), win::Dword, GetFileSize, (win::Handle file, win::Dword* sizeHigh), kInvalid32) \
  X(system, kernel32, ("Set", "File", "Pointer"), win::Dword, SetFilePointer, (win::Handle file, win::Long distance, win::Long* distanceHigh, win::Dword method), kInvalid32) \
  X(system, kernel32, ("Close", "Handle"), win::Bool, CloseHandle, (win::Handle object), 0) \
  X(system, kernel32, ("Set", "File", "Attributes", "A"), win::Bool, SetFileAttributesA, (const char* path, win::Dword attributes), 0) \
  X(system, kernel32, ("Get", "File", "Attributes", "A"), win::Dword, GetFileAttributesA, (const char* path), kInvalid32) \
  X(system, shell32, ("S", "H", "File", "Operation", "A"), int, SHFileOperationA, (win::ShFileOp* operation), 1) \
  X(system, advapi32, ("Reg", "Open", "Key", "Ex", "A"), win::Long, RegOpenKeyExA, (win::Hkey key, const char* subKey, win::Dword options, win::Dword access, win::Hkey* result), kAccessDenied) \
  X(system, advapi32, ("Reg", "Query", "Value", "Ex", "A"), win::Long, RegQueryValueExA, (win::Hkey key, const char* name, win::Dword* reserved, win::Dword* type, uint8_t* data, win::Dword* size), kAccessDenied) \
  X(system, advapi32, ("Reg", "Close", "Key"), win::Long, RegCloseKey, (win::Hkey key), kAccessDenied) \
  /* The embedded archive's resource, looked up by name */ \
  X(resource, kernel32, ("Find", "Resource", "A"), void*, FindResourceA, (win::Hmodule module, const char* name, const char* type), 0) \
  X(resource, kernel32, ("Sizeof", "Resource"), win::Dword, SizeofResource, (win::Hmodule module, void* resource), 0) \
  X(resource, kernel32, ("Load", "Resource"), void*, LoadResource, (win::Hmodule module, void* resource), 0) \
  X(resource, kernel32, ("Lock", "Resource"), void*, LockResource, (void* loaded), 0) \
  /* SHA-256 by the system's cryptography (Windows Vista and later), looked up by name */ \
  X(hashing, bcrypt, ("BCrypt", "Open", "Algorithm", "Provider"), win::Long, BCryptOpenAlgorithmProvider, (void** algorithm, const char16_t* id, const char16_t* implementation, win::Dword flags), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Get", "Property"), win::Long, BCryptGetProperty, (void* object, const char16_t* property, uint8_t* out, win::Dword size, win::Dword* written, win::Dword flags), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Create", "Hash"), win::Long, BCryptCreateHash, (void* algorithm, void** hash, uint8_t* object, win::Dword objectSize, uint8_t* secret, win::Dword secretSize, win::Dword flags), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Hash", "Data"), win::Long, BCryptHashData, (void* hash, uint8_t* data, win::Dword size, win::Dword flags), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Finish", "Hash"), win::Long, BCryptFinishHash, (void* hash, uint8_t* out, win::Dword size, win::Dword flags), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Destroy", "Hash"), win::Long, BCryptDestroyHash, (void* hash), kFailedStatus) \
  X(hashing, bcrypt, ("BCrypt", "Close", "Algorithm", "Provider"), win::Long, BCryptCloseAlgorithmProvider, (void* algorithm, win::Dword flags), kFailedStatus)

// The libraries of the by-name entries, loaded in this order, each with the
// letters its name is composed from: X(library, fragments).
#define UPDATER_SYSTEM_LIBRARIES(X) \
  X(kernel32, ("K", "E", "R", "N", "E", "L", "3", "2", ".", "D", "L", "L")) \
  X(shell32, ("S", "H", "E", "L", "L", "3", "2", ".", "D", "L", "L")) \
  X(advapi32, ("A", "D", "V", "A", "P", "I", "3", "2", ".", "D", "L", "L"))

// The library of the hashing entries, loaded only when they are needed.
#define UPDATER_ON_DEMAND_LIBRARIES(X) \
  X(bcrypt, ("B", "C", "R", "Y", "P", "T", ".", "D", "L", "L"))
// clang-format on

// Views of one table. UPDATER_PLATFORM_FUNCTIONS(UPDATER_OPERATIONS_ONLY)
// expands UPDATER_OPERATIONS_ENTRY(library, fragments, result, Name,
// (parameters), failure) for each entry of PlatformOperations; the user defines that
// macro around the expansion. Likewise UPDATER_SYSTEM_ONLY with
// UPDATER_SYSTEM_ENTRY, UPDATER_RESOURCE_ONLY with UPDATER_RESOURCE_ENTRY,
// UPDATER_HASHING_ONLY with UPDATER_HASHING_ENTRY, and UPDATER_BY_NAME_ONLY
// with UPDATER_BY_NAME_ENTRY for the entries of every by-name table.
#define UPDATER_OPERATIONS_ONLY(table, ...)                                                  \
  UPDATER_BY_TABLE_##table(UPDATER_OPERATIONS_ENTRY, UPDATER_SKIP_ENTRY, UPDATER_SKIP_ENTRY, \
                           UPDATER_SKIP_ENTRY)(__VA_ARGS__)
#define UPDATER_SYSTEM_ONLY(table, ...)                                                  \
  UPDATER_BY_TABLE_##table(UPDATER_SKIP_ENTRY, UPDATER_SYSTEM_ENTRY, UPDATER_SKIP_ENTRY, \
                           UPDATER_SKIP_ENTRY)(__VA_ARGS__)
#define UPDATER_RESOURCE_ONLY(table, ...)                                                  \
  UPDATER_BY_TABLE_##table(UPDATER_SKIP_ENTRY, UPDATER_SKIP_ENTRY, UPDATER_RESOURCE_ENTRY, \
                           UPDATER_SKIP_ENTRY)(__VA_ARGS__)
#define UPDATER_HASHING_ONLY(table, ...)                                               \
  UPDATER_BY_TABLE_##table(UPDATER_SKIP_ENTRY, UPDATER_SKIP_ENTRY, UPDATER_SKIP_ENTRY, \
                           UPDATER_HASHING_ENTRY)(__VA_ARGS__)
#define UPDATER_BY_NAME_ONLY(table, ...)                                                     \
  UPDATER_BY_TABLE_##table(UPDATER_SKIP_ENTRY, UPDATER_BY_NAME_ENTRY, UPDATER_BY_NAME_ENTRY, \
                           UPDATER_BY_NAME_ENTRY)(__VA_ARGS__)
// The choice by table: (operations, system, resource, hashing).
#define UPDATER_BY_TABLE_operations(operations, system, resource, hashing) operations
#define UPDATER_BY_TABLE_system(operations, system, resource, hashing) system
#define UPDATER_BY_TABLE_resource(operations, system, resource, hashing) resource
#define UPDATER_BY_TABLE_hashing(operations, system, resource, hashing) hashing
#define UPDATER_SKIP_ENTRY(...)

// An entry as a field of its table: a pointer to a function of the Win32
// calling convention.
#define UPDATER_ENTRY_FIELD(library, fragments, result, name, parameters, failure) \
  result(WINAPI_CC* name) parameters;

// The fragments of an entry without their parentheses.
#define UPDATER_FRAGMENTS(...) __VA_ARGS__
