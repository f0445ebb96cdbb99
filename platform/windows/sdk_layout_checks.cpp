// Compile-time checks that the portable types and constants of
// core/win_types.h, and the signature of every entry of
// core/platform_functions.h, are those of the Windows SDK, for the build's
// target (i686 or x86-64). Nothing here runs.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstddef>

#include "core/platform_functions.h"
#include "core/win_types.h"
#include "platform/windows/win32_binding.h"

#define SAME_FIELD(mirror, sdk, field)                             \
  static_assert(offsetof(mirror, field) == offsetof(sdk, field) && \
                    sizeof(mirror::field) == sizeof(sdk::field),   \
                #sdk "." #field)

// The shell's copy description, packed on byte boundaries on i686.
static_assert(sizeof(win::ShFileOp) == sizeof(SHFILEOPSTRUCTA), "SHFILEOPSTRUCTA size");
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, hwnd);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, wFunc);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, pFrom);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, pTo);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, fFlags);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, fAnyOperationsAborted);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, hNameMappings);
SAME_FIELD(win::ShFileOp, SHFILEOPSTRUCTA, lpszProgressTitle);

static_assert(sizeof(win::FileTime) == sizeof(FILETIME), "FILETIME size");
static_assert(offsetof(win::FileTime, low) == offsetof(FILETIME, dwLowDateTime) &&
                  offsetof(win::FileTime, high) == offsetof(FILETIME, dwHighDateTime),
              "FILETIME halves");
// One entry of a folder listing.
static_assert(sizeof(win::FindDataA) == sizeof(WIN32_FIND_DATAA), "WIN32_FIND_DATAA size");
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, dwFileAttributes);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, ftCreationTime);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, ftLastAccessTime);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, ftLastWriteTime);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, nFileSizeHigh);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, nFileSizeLow);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, dwReserved0);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, dwReserved1);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, cFileName);
SAME_FIELD(win::FindDataA, WIN32_FIND_DATAA, cAlternateFileName);

static_assert(sizeof(ULARGE_INTEGER) == sizeof(uint64_t), "ULARGE_INTEGER is 64 bits");

static_assert(sizeof(win::Bool) == sizeof(BOOL) && sizeof(win::Uint) == sizeof(UINT) &&
                  sizeof(win::Word) == sizeof(WORD) && sizeof(win::Dword) == sizeof(DWORD) &&
                  sizeof(win::Long) == sizeof(LONG),
              "integer types");
static_assert(sizeof(win::Handle) == sizeof(HANDLE) && sizeof(win::Hwnd) == sizeof(HWND) &&
                  sizeof(win::Hmodule) == sizeof(HMODULE) && sizeof(win::Hkey) == sizeof(HKEY) &&
                  sizeof(win::Hcursor) == sizeof(HCURSOR),
              "handle types");
static_assert(sizeof(win::IntPtr) == sizeof(INT_PTR) && sizeof(win::UintPtr) == sizeof(UINT_PTR) &&
                  sizeof(win::WParam) == sizeof(WPARAM) && sizeof(win::LParam) == sizeof(LPARAM),
              "pointer-sized integers");
static_assert(sizeof(win::DialogProc) == sizeof(DLGPROC), "DLGPROC");

static_assert(win::kGenericRead == GENERIC_READ && win::kGenericWrite == GENERIC_WRITE &&
                  win::kFileShareRead == FILE_SHARE_READ && win::kCreateAlways == CREATE_ALWAYS &&
                  win::kOpenExisting == OPEN_EXISTING && win::kFileBegin == FILE_BEGIN,
              "file opening constants");
static_assert(win::kAttributeReadonly == FILE_ATTRIBUTE_READONLY &&
                  win::kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY &&
                  win::kAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
                  win::kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT &&
                  win::kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES &&
                  win::kInvalidFileSize == INVALID_FILE_SIZE,
              "file attribute constants");
static_assert(win::kMoveFileReplaceExisting == MOVEFILE_REPLACE_EXISTING &&
                  win::kMoveFileWriteThrough == MOVEFILE_WRITE_THROUGH,
              "MoveFileEx flags");
static_assert(win::kDriveUnknown == DRIVE_UNKNOWN && win::kDriveNoRootDir == DRIVE_NO_ROOT_DIR &&
                  win::kDriveRemovable == DRIVE_REMOVABLE && win::kDriveFixed == DRIVE_FIXED &&
                  win::kDriveRemote == DRIVE_REMOTE && win::kDriveCdrom == DRIVE_CDROM,
              "drive types");
static_assert(win::kGmemFixed == GMEM_FIXED && win::kGmemZeroinit == GMEM_ZEROINIT, "GlobalAlloc");
static_assert(win::kMbOk == MB_OK && win::kMbOkCancel == MB_OKCANCEL &&
                  win::kMbIconError == MB_ICONERROR && win::kIdOk == IDOK &&
                  win::kIdCancel == IDCANCEL,
              "message box constants");
static_assert(win::kFoCopy == FO_COPY && win::kFofNoConfirmation == FOF_NOCONFIRMATION &&
                  win::kFofNoConfirmMkdir == FOF_NOCONFIRMMKDIR &&
                  win::kFofNoErrorUi == FOF_NOERRORUI,
              "shell copy flags");
static_assert(win::kKeyRead == KEY_READ && win::kErrorSuccess == ERROR_SUCCESS, "registry");
static_assert(win::kSwHide == SW_HIDE && win::kSwShow == SW_SHOW, "ShowWindow commands");
static_assert(win::kWmSetCursor == WM_SETCURSOR && win::kWmInitDialog == WM_INITDIALOG &&
                  win::kWmCommand == WM_COMMAND,
              "window messages");
// IDC_* and WC_DIALOG are integer resources (MAKEINTRESOURCE), not constant
// expressions; their numbers are fixed by the platform.
static_assert(win::kIdcArrow == 32512 && win::kIdcWait == 32514, "cursor ids");
static_assert(win::kDialogClassAtom == 0x8002, "dialog class atom");

// Every entry against its Win32 function, also those that the updater looks
// up by name and so never binds directly.
#define UPDATER_SAME_SIGNATURE(table, library, fragments, result, name, parameters, failure)   \
  static_assert(win32_binding::Compatible<result(WINAPI_CC*) parameters, decltype(&::name)>(), \
                #name " differs from the SDK's in arguments or result");
UPDATER_PLATFORM_FUNCTIONS(UPDATER_SAME_SIGNATURE)
#undef UPDATER_SAME_SIGNATURE

// The failure results that the list gives its entries.
static_assert(win::Dword(platform_failure::kInvalid32) == INVALID_FILE_SIZE &&
                  win::Dword(platform_failure::kInvalid32) == INVALID_FILE_ATTRIBUTES &&
                  win::Dword(platform_failure::kInvalid32) == INVALID_SET_FILE_POINTER,
              "the 32-bit invalid values");
static_assert(platform_failure::kAccessDenied == ERROR_ACCESS_DENIED, "a registry failure");
static_assert(win::Long(platform_failure::kFailedStatus) < 0, "a failed HRESULT or NTSTATUS");
static_assert(sizeof(char16_t) == sizeof(WCHAR), "UTF-16 texts of the hashing functions");
