#include "authoring/archive_writer.h"

#include <cstring>

#include "archive/archive_format.h"
#include "archive/unscramble.h"

namespace {

uint64_t PaddedSize64(uint64_t size) { return (size + 15) & ~uint64_t(15); }

void Append(std::vector<uint8_t>* out, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

bool BuildArchive(std::vector<ArchiveItem> items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error) {
  std::vector<uint8_t> out(sizeof(ArchiveHeader), 0);
  std::vector<ArchiveEntry> records;
  records.reserve(items.size());
  // Room for the data area as it stands (compression only shrinks it), so
  // that it is not moved as it grows.
  uint64_t dataArea = out.size();
  for (const ArchiveItem& item : items) dataArea += PaddedSize64(item.data.size());
  if (dataArea <= UINT32_MAX) out.reserve(size_t(dataArea));

  for (ArchiveItem& item : items) {
    if (item.name.size() > 259) {
      *error = "entry name longer than 259 bytes: " + item.name;
      return false;
    }
    ArchiveEntry record{};
    std::memcpy(record.name, item.name.data(), item.name.size());
    record.fileTime = item.fileTime;

    std::vector<uint8_t> stored;
    if (item.precompressed) {
      stored = std::move(item.data);
      record.flags = kEntryCompressed;
      record.unpackedSize = item.unpackedSize;
    } else {
      if (item.data.size() > UINT32_MAX) {
        *error = "entry larger than 4 GiB: " + item.name;
        return false;
      }
      record.unpackedSize = uint32_t(item.data.size());
      stored = std::move(item.data);
      if (item.compress) {
        if (options.compress == nullptr) {
          *error = "compression asked for without a compressor";
          return false;
        }
        std::vector<uint8_t> packed = options.compress(stored.data(), stored.size());
        if (packed.size() < stored.size()) {
          stored = std::move(packed);
          record.flags = kEntryCompressed;
        }
      }
    }
    if (item.scramble) {
      Unscramble(stored.data(), uint32_t(stored.size()));
      record.scrambled = kEntryScrambledMark;
    }
    record.storedSize = uint32_t(stored.size());
    Append(&out, stored.data(), stored.size());
    std::vector<uint8_t>().swap(stored);
    out.resize(out.size() + (PaddedSize(record.storedSize) - record.storedSize), 0);
    if (out.size() > UINT32_MAX) {
      *error = "archive larger than 4 GiB";
      return false;
    }
    records.push_back(record);
  }

  ArchiveHeader header{};
  header.magic = kArchiveMagic;
  header.directoryOffset = uint32_t(out.size());
  header.entryCount = uint32_t(records.size());

  std::vector<uint8_t> directory(records.size() * sizeof(ArchiveEntry));
  if (!directory.empty()) std::memcpy(directory.data(), records.data(), directory.size());
  const bool compressDirectory = options.directory == DirectoryForm::kCompressed ||
                                 options.directory == DirectoryForm::kCompressedScrambled;
  const bool scrambleDirectory = options.directory == DirectoryForm::kScrambled ||
                                 options.directory == DirectoryForm::kCompressedScrambled;
  if (compressDirectory) {
    if (options.compress == nullptr) {
      *error = "compression asked for without a compressor";
      return false;
    }
    directory = options.compress(directory.data(), directory.size());
    header.flags |= kDirectoryCompressed;
  }
  if (scrambleDirectory) {
    Unscramble(directory.data(), uint32_t(directory.size()));
    header.flags |= kDirectoryScrambled;
  }
  Append(&out, directory.data(), directory.size());
  if (out.size() > UINT32_MAX) {
    *error = "archive larger than 4 GiB";
    return false;
  }
  std::memcpy(out.data(), &header, sizeof header);
  *archive = std::move(out);
  return true;
}
