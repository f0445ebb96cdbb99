#include "authoring/pe_resources.h"

#include <algorithm>

#include "authoring/little_endian.h"
#include "authoring/pe_format.h"
#include "authoring/utf8_append.h"

namespace {

// Bounds: the three levels of the resource tree (type, name, language)
// are fixed by the format; a tree that shares its tables could still make
// the walk enormous, so the entries visited and the resources are capped.
constexpr size_t kMaxResources = 65536;
constexpr size_t kMaxEntriesVisited = 1u << 20;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Has(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  uint16_t U16(size_t offset) const { return Get16(data_ + offset); }
  uint32_t U32(size_t offset) const { return Get32(data_ + offset); }
  size_t Size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// Maps [rva, rva + length) to a file offset when it lies inside the file
// bytes of one section.
bool MapAddress(const std::vector<Section>& sections, uint32_t rva, uint32_t length,
                size_t* offset) {
  for (const Section& s : sections) {
    if (rva < s.virtualAddress) continue;
    const uint64_t within = uint64_t(rva) - s.virtualAddress;
    if (within + length <= s.rawSize) {
      *offset = size_t(s.rawOffset) + size_t(within);
      return true;
    }
  }
  return false;
}

// Walks the resource tree that starts at `root` (a file offset) and ends
// at `end`; offsets inside the tree are relative to `root`.
class TreeWalker {
 public:
  TreeWalker(const Reader& file, const std::vector<Section>& sections, size_t root, size_t end,
             PeImage* image, std::string* error)
      : file_(file), sections_(sections), root_(root), end_(end), image_(image), error_(error) {}

  bool Walk() { return Table(0, 0); }

 private:
  bool Fail(const std::string& what) {
    *error_ = "damaged resource directory: " + what;
    return false;
  }

  bool InTree(uint32_t relative, size_t length) const {
    return relative <= end_ - root_ && length <= end_ - root_ - relative;
  }

  // A directory table at `relative`; `level` 0 lists types, 1 names,
  // 2 languages.
  bool Table(uint32_t relative, int level) {
    if (!InTree(relative, 16)) return Fail("table outside the section");
    const size_t at = root_ + relative;
    const size_t count = size_t(file_.U16(at + 12)) + file_.U16(at + 14);
    if (!InTree(relative + 16, count * 8)) return Fail("table entries outside the section");
    entriesVisited_ += count;
    if (entriesVisited_ > kMaxEntriesVisited) return Fail("too many entries");
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = at + 16 + i * 8;
      PeResourceId id;
      if (!EntryId(file_.U32(entry), &id)) return false;
      const uint32_t target = file_.U32(entry + 4);
      const bool isTable = (target & kSubdirectoryFlag) != 0;
      if (level < 2) {
        if (!isTable) return Fail("data where a table belongs");
        path_[level] = id;
        if (!Table(target & ~kSubdirectoryFlag, level + 1)) return false;
      } else {
        if (isTable) return Fail("a table below the language level");
        if (!Leaf(target, id)) return false;
      }
    }
    return true;
  }

  bool EntryId(uint32_t field, PeResourceId* id) {
    if ((field & kSubdirectoryFlag) == 0) {
      if (field > 0xFFFF) return Fail("number beyond 16 bits");
      *id = PeResourceId::Number(uint16_t(field));
      return true;
    }
    const uint32_t relative = field & ~kSubdirectoryFlag;
    if (!InTree(relative, 2)) return Fail("name outside the section");
    const size_t length = file_.U16(root_ + relative);
    if (!InTree(relative + 2, length * 2)) return Fail("name outside the section");
    std::string name;
    const size_t text = root_ + relative + 2;
    const size_t kept = std::min(length, kMaxKeptNameUnits);
    for (size_t i = 0; i < kept; ++i) {
      uint32_t c = file_.U16(text + i * 2);
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < kept) {
        const uint32_t low = file_.U16(text + i * 2 + 2);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
      AppendUtf8(c, &name);
    }
    namesKept_ += name.size();
    if (namesKept_ > file_.Size()) return Fail("resource names longer than the file itself");
    *id = PeResourceId::Name(name);
    id->cut = kept < length;
    return true;
  }

  bool Leaf(uint32_t relative, const PeResourceId& language) {
    if (!InTree(relative, 16)) return Fail("data entry outside the section");
    if (language.isName) return Fail("a language given by name");
    if (image_->resources.size() >= kMaxResources) return Fail("too many resources");
    const size_t at = root_ + relative;
    PeResource resource;
    resource.type = path_[0];
    resource.name = path_[1];
    resource.language = language.number;
    resource.size = file_.U32(at + 4);
    resource.codePage = file_.U32(at + 8);
    if (!MapAddress(sections_, file_.U32(at), resource.size, &resource.offset)) {
      return Fail("data of " + resource.type.ToString() + "/" + resource.name.ToString() +
                  " outside the file");
    }
    image_->resources.push_back(resource);
    return true;
  }

  const Reader& file_;
  const std::vector<Section>& sections_;
  size_t root_;
  size_t end_;
  PeImage* image_;
  std::string* error_;
  PeResourceId path_[2];
  size_t entriesVisited_ = 0;
  size_t namesKept_ = 0;  // bytes of the names read so far
};

}  // namespace

PeResourceId PeResourceId::Number(uint16_t number) {
  PeResourceId id;
  id.number = number;
  return id;
}

PeResourceId PeResourceId::Name(const std::string& name) {
  PeResourceId id;
  id.isName = true;
  id.name = name;
  return id;
}

std::string PeResourceId::ToString() const {
  return isName ? name + (cut ? "..." : "") : "#" + std::to_string(number);
}

bool SameResourceId(const PeResourceId& a, const PeResourceId& b) {
  if (a.isName != b.isName) return false;
  if (!a.isName) return a.number == b.number;
  if (a.cut || b.cut) return false;
  if (a.name.size() != b.name.size()) return false;
  for (size_t i = 0; i < a.name.size(); ++i) {
    char x = a.name[i], y = b.name[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool ReadPeImage(const uint8_t* data, size_t size, PeImage* image, std::string* error) {
  *image = PeImage();
  const Reader file(data, size);
  if (!file.Has(0, 64) || data[0] != 'M' || data[1] != 'Z') {
    *error = "not an executable: no MZ header";
    return false;
  }
  const size_t pe = file.U32(0x3C);
  if (!file.Has(pe, 24) || file.U32(pe) != 0x00004550u) {
    *error = "not a PE file: no PE signature";
    return false;
  }
  image->machine = file.U16(pe + 4);
  const size_t sectionCount = file.U16(pe + 6);
  const size_t optionalSize = file.U16(pe + 20);
  const size_t optional = pe + 24;
  if (sectionCount > kMaxSections) {
    *error = "damaged PE header: " + std::to_string(sectionCount) + " sections";
    return false;
  }
  if (!file.Has(optional, optionalSize) || optionalSize < 2) {
    *error = "damaged PE header: optional header outside the file";
    return false;
  }
  const uint16_t magic = file.U16(optional);
  if (magic != 0x10B && magic != 0x20B) {
    *error = "damaged PE header: unknown optional header kind";
    return false;
  }
  image->pe32Plus = magic == 0x20B;
  const size_t countField = image->pe32Plus ? 108 : 92;
  const size_t directories = countField + 4;
  if (optionalSize < directories) {
    *error = "damaged PE header: optional header too short";
    return false;
  }
  const uint32_t directoryCount = file.U32(optional + countField);
  if (directoryCount > kCertificateDirectoryIndex &&
      optionalSize >= directories + (kCertificateDirectoryIndex + 1) * 8) {
    image->certificateOffset = file.U32(optional + directories + kCertificateDirectoryIndex * 8);
    image->certificateSize = file.U32(optional + directories + kCertificateDirectoryIndex * 8 + 4);
  }
  if (directoryCount <= kResourceDirectoryIndex ||
      optionalSize < directories + (kResourceDirectoryIndex + 1) * 8) {
    return true;  // no resource directory
  }
  const uint32_t resourceRva = file.U32(optional + directories + kResourceDirectoryIndex * 8);
  const uint32_t resourceSize = file.U32(optional + directories + kResourceDirectoryIndex * 8 + 4);
  if (resourceRva == 0 && resourceSize == 0) return true;

  const size_t table = optional + optionalSize;
  if (!file.Has(table, sectionCount * kSectionHeaderSize)) {
    *error = "damaged PE header: section table outside the file";
    return false;
  }
  std::vector<Section> sections;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + i * kSectionHeaderSize;
    Section section{file.U32(s + 12), file.U32(s + 16), file.U32(s + 20)};
    // Only the part of a section that the file really holds can be read.
    if (section.rawOffset > size) section.rawSize = 0;
    if (section.rawSize > size - section.rawOffset)
      section.rawSize = uint32_t(size - section.rawOffset);
    sections.push_back(section);
  }
  // The tree may reach past the size that the header gives it, up to the
  // end of its section.
  size_t root = 0;
  if (!MapAddress(sections, resourceRva, 16, &root)) {
    *error = "damaged resource directory: outside the file";
    return false;
  }
  size_t end = root;
  for (const Section& s : sections) {
    if (root >= s.rawOffset && root - s.rawOffset < s.rawSize)
      end = size_t(s.rawOffset) + s.rawSize;
  }
  TreeWalker walker(file, sections, root, end, image, error);
  if (!walker.Walk()) {
    image->resources.clear();
    return false;
  }
  return true;
}

const PeResource* FindPeResource(const PeImage& image, const PeResourceId& type,
                                 const PeResourceId& name, int language) {
  for (const PeResource& r : image.resources) {
    if (SameResourceId(r.type, type) && SameResourceId(r.name, name) &&
        (language < 0 || r.language == language)) {
      return &r;
    }
  }
  return nullptr;
}
