#include "tools/updpack/files/archive_input.h"

#include <sys/mman.h>

#include "authoring/archive_reader.h"
#include "authoring/pe_resources.h"
#include "tools/updpack/commands/tool_messages.h"

bool ArchiveFile::Open(const std::string& path, std::string* error, ArchiveOrigin* origin) {
  if (origin != nullptr) *origin = ArchiveOrigin();
  if (!OpenBare(path, error)) return false;
  // Executables start with "MZ"; archives with their own magic.
  uint8_t start[2];
  if (size_ < sizeof start) return true;
  if (!file_.ReadAt(0, start, sizeof start, error)) return false;
  return start[0] != 'M' || start[1] != 'Z' || TakeArchiveResource(error, origin);
}

bool ArchiveFile::OpenBare(const std::string& path, std::string* error) {
  if (!file_.Open(path, error, UINT32_MAX)) return false;
  base_ = 0;
  size_ = file_.size();
  return true;
}

// Narrows the file to its archive resource, having checked the digest the
// updater carries when `origin` asks.
bool ArchiveFile::TakeArchiveResource(std::string* error, ArchiveOrigin* origin) {
  const std::string& path = file_.path();
  PeImage image;
  std::string why;
  if (!ReadExecutableImage(file_, &image, &why)) {
    *error = Quoted(path) + " starts like an executable but cannot be read as one: " + why;
    return false;
  }
  const PeResource* archive = FindArchiveResource(image);
  if (archive == nullptr) {
    *error = Quoted(path) + " is an executable without an update archive (resource UPDATE 102)";
    return false;
  }
  base_ = archive->offset;
  size_ = archive->size;
  if (origin == nullptr) return true;
  origin->executable = true;
  origin->carriesSignature = image.certificateOffset != 0 || image.certificateSize != 0;
  return CheckUpdaterDigest(file_, image, &origin->digest, &origin->digestDetail, error);
}

bool ArchiveFile::ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const {
  if (offset > size_ || count > size_ - offset) {
    *error = "the archive's bytes end at " + std::to_string(size_);
    return false;
  }
  return file_.ReadAt(base_ + offset, to, count, error);
}

bool ArchiveFile::ReadPieces(const InputFile::PieceTaker& take, std::string* error) const {
  return file_.ReadPieces(base_, size_, take, error);
}

bool ReadExecutableImage(const InputFile& file, PeImage* image, std::string* error) {
  const size_t size = size_t(file.size());
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd(), 0);
  if (mapped == MAP_FAILED) {
    *error = SystemError("cannot read", file.path());
    return false;
  }
  const bool read = ReadPeImage(static_cast<const uint8_t*>(mapped), size, image, error);
  munmap(mapped, size);
  return read;
}

const PeResource* FindArchiveResource(const PeImage& image) {
  return FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(102));
}

bool OpenArchiveListing(const std::string& path, ArchiveFile* archive, ArchiveListing* listing,
                        ArchiveOrigin* origin) {
  std::string error;
  if (!archive->Open(path, &error, origin)) {
    ReportError(error);
    return false;
  }
  if (!ReadArchiveListing(*archive, listing, &error)) {
    // A damaged download is the likely cause; say so first.
    if (origin != nullptr && origin->digest == DigestState::kMismatch) {
      ReportError(Quoted(path) + ": " + DigestStateText(origin->digest) + " (" +
                  origin->digestDetail + ")");
    }
    ReportError(Quoted(path) + ": " + error);
    return false;
  }
  return true;
}
