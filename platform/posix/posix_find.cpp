// Folder listings on POSIX over the drive map, for the one pattern the
// updater gives: "<folder>\*", every entry of the folder. Other patterns are
// refused.
//
// Entries come in the host's order, read as the listing goes on; "." and
// ".." are given as Windows gives them in every folder but a drive's root.
// Each entry reads as posix_files.cpp reads it: the attributes of
// GetFileAttributesA (a symbolic link by its own entry: the reparse-point bit
// with the directory bit of its target) and the three times of GetFileTime
// (creation reads as the last write). A link is never followed for its times
// or size; like a folder it has no size, as on NTFS. Names come back in code
// page 932; a name without a code page 932 form, with a backslash (which a
// DOS path would split) or longer than MAX_PATH is left out, since the
// updater could not name it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/codepage.h"
#include "host/file_time.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

namespace {

constexpr win::Dword kReparseTagSymlink = 0xA000000Cu;  // IO_REPARSE_TAG_SYMLINK

// An open listing; its handle is this object's address. The file objects of
// posix_files.cpp begin with their descriptor: this one begins with -1, so
// that a file function handed a listing fails instead of acting on a file.
struct Listing {
  int notADescriptor;
  DIR* folder;
  bool driveRoot;  // no "." and ".." here
};

// The listings open now: the find functions take no other handle (a file's
// handle, a listing already closed).
std::vector<Listing*>& OpenListings() {
  static std::vector<Listing*> listings;
  return listings;
}

Listing* ListingOf(win::Handle handle) {
  for (Listing* listing : OpenListings()) {
    if (listing == handle) return listing;
  }
  return nullptr;
}

// The folder of "<folder>\*", its backslash kept ("C:\" for a drive's
// root). The backslash must be a character of its own, not the second byte
// of a double-byte one, and the folder holds no wildcard.
bool FolderOfPattern(const char* pattern, std::string* folder) {
  if (pattern == nullptr) return false;
  const size_t length = std::strlen(pattern);
  size_t previous = length, last = length;  // starts of the last two characters
  for (size_t i = 0; i < length;) {
    previous = last;
    last = i;
    const unsigned char c = static_cast<unsigned char>(pattern[i]);
    if (IsCp932LeadByte(c) && pattern[i + 1] != '\0') {
      i += 2;
      continue;
    }
    if ((c == '*' || c == '?') && i + 1 != length) return false;
    ++i;
  }
  if (length < 2 || last != length - 1 || previous != length - 2 || pattern[last] != '*' ||
      pattern[previous] != '\\') {
    return false;
  }
  folder->assign(pattern, length - 1);
  return true;
}

bool IsDriveRoot(DIR* folder, char drive) {
  struct stat listed, root;
  return fstat(dirfd(folder), &listed) == 0 && stat(DriveFor(drive).hostRoot.c_str(), &root) == 0 &&
         listed.st_dev == root.st_dev && listed.st_ino == root.st_ino;
}

// The entry `name` of the listing's folder; false when it is to be left out
// or is gone since the folder was read.
bool ReadEntry(const Listing& listing, const char* name, win::FindDataA* found) {
  if (listing.driveRoot && (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)) {
    return false;
  }
  std::string cp932;
  if (std::strchr(name, '\\') != nullptr || !Utf8ToCp932(name, &cp932) ||
      cp932.size() >= sizeof found->cFileName) {
    return false;
  }
  const int folder = dirfd(listing.folder);
  struct stat st;
  if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  win::FindDataA entry = {};
  uint64_t size = 0;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    const bool toFolder = fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    entry.dwFileAttributes =
        win::kAttributeReparsePoint | (toFolder ? win::kAttributeDirectory : 0);
    entry.dwReserved0 = kReparseTagSymlink;
  } else if (S_ISDIR(st.st_mode)) {
    entry.dwFileAttributes = win::kAttributeDirectory;
  } else {
    entry.dwFileAttributes =
        (st.st_mode & S_IWUSR) == 0 ? win::kAttributeReadonly : win::kAttributeNormal;
    size = uint64_t(st.st_size);
  }
  entry.ftCreationTime = FileTimeFromTimespec(st.st_mtim);
  entry.ftLastAccessTime = FileTimeFromTimespec(st.st_atim);
  entry.ftLastWriteTime = FileTimeFromTimespec(st.st_mtim);
  entry.nFileSizeHigh = win::Dword(size >> 32);
  entry.nFileSizeLow = win::Dword(size);
  std::memcpy(entry.cFileName, cp932.c_str(), cp932.size() + 1);
  *found = entry;
  return true;
}

}  // namespace

win::Handle WINAPI_CC PosixFindFirstFileA(const char* pattern, win::FindDataA* found) {
  std::string folder, host;
  if (found == nullptr || !FolderOfPattern(pattern, &folder) ||
      !DosToHostPath(folder.c_str(), &host)) {
    return win::InvalidHandle();
  }
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return win::InvalidHandle();
  Listing* listing = new Listing{-1, dir, IsDriveRoot(dir, pattern[0])};
  OpenListings().push_back(listing);
  // A folder that gives no entry at all (an empty root) has no listing.
  if (!PosixFindNextFileA(listing, found)) {
    PosixFindClose(listing);
    return win::InvalidHandle();
  }
  return listing;
}

win::Bool WINAPI_CC PosixFindNextFileA(win::Handle search, win::FindDataA* found) {
  Listing* listing = ListingOf(search);
  if (listing == nullptr || found == nullptr) return 0;
  while (const dirent* entry = readdir(listing->folder)) {
    if (ReadEntry(*listing, entry->d_name, found)) return 1;
  }
  return 0;
}

win::Bool WINAPI_CC PosixFindClose(win::Handle search) {
  Listing* listing = ListingOf(search);
  if (listing == nullptr) return 0;
  std::vector<Listing*>& open = OpenListings();
  open.erase(std::find(open.begin(), open.end(), listing));
  closedir(listing->folder);
  delete listing;
  return 1;
}
