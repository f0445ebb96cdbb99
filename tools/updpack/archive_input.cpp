#include "tools/updpack/archive_input.h"

#include <cstring>

#include "authoring/archive_reader.h"
#include "authoring/pe_resources.h"
#include "tools/updpack/host_files.h"
#include "tools/updpack/tool_messages.h"

namespace {

// Executables start with "MZ"; archives with their own magic.
bool LooksLikeExecutable(const std::vector<uint8_t>& file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

// Replaces the executable's bytes in `file` with those of its archive,
// having checked the digest it carries.
bool TakeArchiveResource(const std::string& path, std::vector<uint8_t>* file,
                         std::string* error, ArchiveOrigin* origin) {
  PeImage image;
  std::string why;
  if (!ReadPeImage(file->data(), file->size(), &image, &why)) {
    *error = Quoted(path) + " starts like an executable but cannot be read as one: " + why;
    return false;
  }
  const PeResource* archive = FindArchiveResource(image);
  if (archive == nullptr) {
    *error = Quoted(path) + " is an executable without an update archive (resource UPDATE 102)";
    return false;
  }
  origin->executable = true;
  origin->digest = CheckUpdaterDigest(*file, image, &origin->digestDetail);
  origin->carriesSignature = image.certificateOffset != 0 || image.certificateSize != 0;
  std::vector<uint8_t> bytes(file->begin() + archive->offset,
                             file->begin() + archive->offset + archive->size);
  file->swap(bytes);
  return true;
}

}  // namespace

const PeResource* FindArchiveResource(const PeImage& image) {
  return FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(102));
}

bool LoadArchive(const std::string& path, std::vector<uint8_t>* image, std::string* error,
                 ArchiveOrigin* origin) {
  ArchiveOrigin unused;
  if (origin == nullptr) origin = &unused;
  *origin = ArchiveOrigin();
  // Neither an archive nor an executable can pass 32-bit sizes: refused by
  // the size before the file is read.
  if (!ReadWholeFile(path, image, nullptr, error, UINT32_MAX)) return false;
  return !LooksLikeExecutable(*image) || TakeArchiveResource(path, image, error, origin);
}

bool LoadArchiveListing(const std::string& path, std::vector<uint8_t>* image,
                        ArchiveListing* listing, ArchiveOrigin* origin) {
  std::string error;
  if (!LoadArchive(path, image, &error, origin)) {
    ReportError(error);
    return false;
  }
  if (!ReadArchiveListing(image->data(), image->size(), listing, &error)) {
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
