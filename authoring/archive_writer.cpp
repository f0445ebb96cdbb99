#include "authoring/archive_writer.h"

#include <cstring>

#include "archive/unscramble.h"

namespace {

uint64_t PaddedSize64(uint64_t size) { return (size + 15) & ~uint64_t(15); }

void Append(std::vector<uint8_t>* out, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

bool ArchiveAssembler::Add(ArchiveItem item, std::vector<uint8_t>* stored, size_t* padding,
                           std::string* error) {
  if (!item.precompressed && item.compress) {
    if (options_.compress == nullptr) {
      *error = "compression asked for without a compressor";
      return false;
    }
    if (item.data.size() <= UINT32_MAX) {
      std::vector<uint8_t> packed = options_.compress(item.data.data(), item.data.size());
      if (packed.size() < item.data.size()) {
        item.unpackedSize = uint32_t(item.data.size());
        item.data = std::move(packed);
        item.precompressed = true;
      }
    }
  }
  if (!Record(item, item.data.size(), padding, error)) return false;
  *stored = std::move(item.data);
  if (item.scramble) Unscramble(stored->data(), uint32_t(stored->size()));
  return true;
}

bool ArchiveAssembler::Record(const ArchiveItem& item, uint64_t storedSize, size_t* padding,
                              std::string* error) {
  if (item.name.size() > 259) {
    *error = "entry name longer than 259 bytes: " + item.name;
    return false;
  }
  if (storedSize > UINT32_MAX) {
    *error = "entry larger than 4 GiB: " + item.name;
    return false;
  }
  ArchiveEntry record{};
  std::memcpy(record.name, item.name.data(), item.name.size());
  record.fileTime = item.fileTime;
  record.flags = item.precompressed ? kEntryCompressed : 0;
  record.unpackedSize = item.precompressed ? item.unpackedSize : uint32_t(storedSize);
  if (item.scramble) record.scrambled = kEntryScrambledMark;
  record.storedSize = uint32_t(storedSize);
  *padding = PaddedSize(record.storedSize) - record.storedSize;
  size_ += storedSize + *padding;
  if (size_ > UINT32_MAX) {
    *error = "archive larger than 4 GiB";
    return false;
  }
  records_.push_back(record);
  return true;
}

bool ArchiveAssembler::Finish(std::vector<uint8_t>* directory, std::vector<uint8_t>* header,
                              std::string* error) {
  ArchiveHeader h{};
  h.magic = kArchiveMagic;
  h.directoryOffset = uint32_t(size_);
  h.entryCount = uint32_t(records_.size());
  directory->assign(records_.size() * sizeof(ArchiveEntry), 0);
  if (!directory->empty()) std::memcpy(directory->data(), records_.data(), directory->size());
  const bool compressDirectory = options_.directory == DirectoryForm::kCompressed ||
                                 options_.directory == DirectoryForm::kCompressedScrambled;
  const bool scrambleDirectory = options_.directory == DirectoryForm::kScrambled ||
                                 options_.directory == DirectoryForm::kCompressedScrambled;
  if (compressDirectory) {
    if (options_.compress == nullptr) {
      *error = "compression asked for without a compressor";
      return false;
    }
    *directory = options_.compress(directory->data(), directory->size());
    h.flags |= kDirectoryCompressed;
  }
  if (scrambleDirectory) {
    Unscramble(directory->data(), uint32_t(directory->size()));
    h.flags |= kDirectoryScrambled;
  }
  if (size_ + directory->size() > UINT32_MAX) {
    *error = "archive larger than 4 GiB";
    return false;
  }
  header->resize(sizeof h);
  std::memcpy(header->data(), &h, sizeof h);
  return true;
}

bool BuildArchive(std::vector<ArchiveItem> items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error) {
  std::vector<uint8_t> out(sizeof(ArchiveHeader), 0);
  // Room for the data area as it stands (compression only shrinks it), so
  // that it is not moved as it grows.
  uint64_t dataArea = out.size();
  for (const ArchiveItem& item : items) dataArea += PaddedSize64(item.data.size());
  if (dataArea <= UINT32_MAX) out.reserve(size_t(dataArea));
  ArchiveAssembler assembler(options);
  for (ArchiveItem& item : items) {
    std::vector<uint8_t> stored;
    size_t padding;
    if (!assembler.Add(std::move(item), &stored, &padding, error)) return false;
    Append(&out, stored.data(), stored.size());
    out.resize(out.size() + padding, 0);
  }
  std::vector<uint8_t> directory, header;
  if (!assembler.Finish(&directory, &header, error)) return false;
  Append(&out, directory.data(), directory.size());
  std::memcpy(out.data(), header.data(), header.size());
  *archive = std::move(out);
  return true;
}
