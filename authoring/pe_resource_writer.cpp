#include "authoring/pe_resource_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "authoring/little_endian.h"
#include "authoring/pe_format.h"

namespace {

constexpr uint32_t kResourceCharacteristics = 0x40000040u;  // initialized data, read
// The image and the new section stay well inside 32-bit addresses.
constexpr uint64_t kMaxImageSize = 0x7FFFFFFFu;
constexpr size_t kDataAlignment = 8;

// Offsets in the optional header, the same for PE32 and PE32+.
constexpr size_t kSizeOfInitializedData = 8;
constexpr size_t kSectionAlignment = 32;
constexpr size_t kFileAlignment = 36;
constexpr size_t kSizeOfImage = 56;
constexpr size_t kSizeOfHeaders = 60;
constexpr size_t kCheckSum = 64;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}
bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool Fail(std::string* error, const std::string& what) {
  *error = what;
  return false;
}

struct SectionHeader {
  size_t at = 0;  // of the header in the file
  char name[8] = {};
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;

  uint64_t VirtualEnd(uint32_t alignment) const {
    return virtualAddress + AlignUp(std::max(virtualSize, rawSize), alignment);
  }
};

// The headers the writer changes, read and checked against the file.
struct Headers {
  size_t optional = 0;
  size_t directories = 0;  // the first data directory entry
  uint32_t directoryCount = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfHeaders = 0;
  size_t numberOfSections = 0;  // the field's offset
  size_t sectionTable = 0;
  uint32_t symbolTable = 0;
  std::vector<SectionHeader> sections;
};

bool ReadHeaders(const uint8_t* file, size_t size, Headers* h, std::string* error) {
  if (size < 64 || file[0] != 'M' || file[1] != 'Z') {
    return Fail(error, "not an executable: no MZ header");
  }
  const size_t pe = Get32(file + 0x3C);
  if (pe > size || size - pe < 24 || Get32(file + pe) != 0x00004550u) {
    return Fail(error, "not a PE file: no PE signature");
  }
  h->numberOfSections = pe + 6;
  const size_t count = Get16(file + pe + 6);
  h->symbolTable = Get32(file + pe + 12);
  const size_t optionalSize = Get16(file + pe + 20);
  h->optional = pe + 24;
  if (count > kMaxSections) {
    return Fail(error, "damaged PE header: " + std::to_string(count) + " sections");
  }
  if (optionalSize > size - h->optional || optionalSize < 2) {
    return Fail(error, "damaged PE header: optional header outside the file");
  }
  const uint16_t magic = Get16(file + h->optional);
  if (magic != 0x10B && magic != 0x20B) {
    return Fail(error, "damaged PE header: unknown optional header kind");
  }
  const size_t countField = magic == 0x20B ? 108 : 92;
  h->directories = h->optional + countField + 4;
  if (optionalSize < countField + 4)
    return Fail(error, "damaged PE header: optional header too short");
  h->directoryCount = Get32(file + h->optional + countField);
  if (h->directoryCount <= kResourceDirectoryIndex ||
      optionalSize < countField + 4 + (kResourceDirectoryIndex + 1) * 8) {
    return Fail(error, "PE header has no resource data directory");
  }
  // Read no directory that the optional header does not hold.
  h->directoryCount =
      std::min<uint32_t>(h->directoryCount, uint32_t((optionalSize - countField - 4) / 8));
  h->sectionAlignment = Get32(file + h->optional + kSectionAlignment);
  h->fileAlignment = Get32(file + h->optional + kFileAlignment);
  h->sizeOfHeaders = Get32(file + h->optional + kSizeOfHeaders);
  if (!PowerOfTwo(h->fileAlignment) || h->fileAlignment > 0x10000 ||
      !PowerOfTwo(h->sectionAlignment) || h->sectionAlignment < h->fileAlignment) {
    return Fail(error, "damaged PE header: section or file alignment");
  }
  h->sectionTable = h->optional + optionalSize;
  if (count * kSectionHeaderSize > size - h->sectionTable) {
    return Fail(error, "damaged PE header: section table outside the file");
  }
  uint64_t previousEnd = 0;
  for (size_t i = 0; i < count; ++i) {
    SectionHeader s;
    s.at = h->sectionTable + i * kSectionHeaderSize;
    std::memcpy(s.name, file + s.at, 8);
    s.virtualSize = Get32(file + s.at + 8);
    s.virtualAddress = Get32(file + s.at + 12);
    s.rawSize = Get32(file + s.at + 16);
    s.rawOffset = Get32(file + s.at + 20);
    if (s.rawSize != 0 && (s.rawOffset > size || s.rawSize > size - s.rawOffset)) {
      return Fail(error, "damaged PE header: bytes of section " + std::to_string(i + 1) +
                             " outside the file");
    }
    if (s.virtualAddress < previousEnd) {
      return Fail(error, "damaged PE header: sections overlap or are out of order");
    }
    previousEnd = s.VirtualEnd(h->sectionAlignment);
    if (previousEnd > kMaxImageSize) return Fail(error, "damaged PE header: image too large");
    h->sections.push_back(s);
  }
  return true;
}

// A type or name as the tree holds it.
struct WireId {
  bool isName = false;
  uint16_t number = 0;
  std::u16string name;
  std::u16string upper;  // the key names are compared and sorted by
};

// Upper case of one UTF-16 unit for the scripts the tool's names use:
// ASCII, Latin-1, Greek, Cyrillic and full-width Latin; others as they are.
// Fixed here so that the order does not follow the host's locale.
char16_t Upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char16_t(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 32);
  if (c >= 0x430 && c <= 0x44F) return char16_t(c - 32);
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 80);
  if (c >= 0xFF41 && c <= 0xFF5A) return char16_t(c - 32);
  return c;
}

bool ToWire(const PeResourceId& id, WireId* wire, std::string* error) {
  *wire = WireId();
  if (!id.isName) {
    wire->number = id.number;
    return true;
  }
  if (id.cut) return Fail(error, "resource name " + id.ToString() + " is too long to keep");
  if (!Utf8ToUtf16(id.name, &wire->name)) {
    return Fail(error, "resource name is not UTF-8: " + id.name);
  }
  if (wire->name.empty() || wire->name.size() > 0xFFFF) {
    return Fail(error, "resource name must have 1 to 65535 UTF-16 units: " + id.name);
  }
  wire->isName = true;
  for (char16_t c : wire->name) wire->upper += Upper(c);
  return true;
}

// Order of a directory's entries: names by upper case, then numbers.
// Names that differ in case only are one entry, written as the first of
// its resources (the lowest language) spells it.
int Compare(const WireId& a, const WireId& b) {
  if (a.isName != b.isName) return a.isName ? -1 : 1;
  if (!a.isName) return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
  if (a.upper != b.upper) return a.upper < b.upper ? -1 : 1;
  return 0;
}

bool Same(const WireId& a, const WireId& b) {
  return a.isName == b.isName && (a.isName ? a.upper == b.upper : a.number == b.number);
}

struct Item {
  WireId type;
  WireId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  // The data, in the input file or in the edit: copied once, into the
  // result; or read from `source` a piece at a time.
  const uint8_t* data = nullptr;
  const PeDataSource* source = nullptr;
  uint64_t size = 0;
};

bool Before(const Item& a, const Item& b) {
  if (int c = Compare(a.type, b.type)) return c < 0;
  if (int c = Compare(a.name, b.name)) return c < 0;
  return a.language < b.language;
}

// The resource tree of `items` (sorted) as it lies at `rva`: the directory
// tables, each type's table followed by its names' language tables; then
// the data entries and the name strings, in `tree`; then the data, at
// `dataOffsets` from the tree's start. `size` is the whole.
bool BuildTree(const std::vector<Item>& items, uint32_t rva, std::vector<uint8_t>* tree,
               std::vector<uint64_t>* dataOffsets, uint64_t* size, std::string* error) {
  struct Group {
    size_t first, end;  // items [first, end)
  };
  std::vector<Group> types;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i == 0 || !Same(items[i].type, items[i - 1].type)) types.push_back({i, i});
    types.back().end = i + 1;
  }
  auto names = [&](const Group& type) {
    std::vector<Group> out;
    for (size_t i = type.first; i < type.end; ++i) {
      if (i == type.first || !Same(items[i].name, items[i - 1].name)) out.push_back({i, i});
      out.back().end = i + 1;
    }
    return out;
  };
  auto named = [&](const std::vector<Group>& groups, bool byType) {
    size_t n = 0;
    for (const Group& g : groups) n += (byType ? items[g.first].type : items[g.first].name).isName;
    return n;
  };

  std::vector<uint8_t>& t = *tree;
  t.clear();
  auto table = [&](size_t namedCount, size_t numbered) {
    const size_t at = t.size();
    t.resize(at + 16 + (namedCount + numbered) * 8, 0);
    Put16(&t, at + 12, uint32_t(namedCount));
    Put16(&t, at + 14, uint32_t(numbered));
    return at;
  };
  std::vector<std::pair<size_t, const std::u16string*>> nameFields;
  std::vector<size_t> languageEntries;  // one for each item, in order
  auto entryId = [&](size_t entry, const WireId& id) {
    if (id.isName) {
      nameFields.push_back({entry, &id.name});
    } else {
      Put32(&t, entry, id.number);
    }
  };

  const size_t root = table(named(types, true), types.size() - named(types, true));
  for (size_t ti = 0; ti < types.size(); ++ti) {
    const std::vector<Group> typeNames = names(types[ti]);
    const size_t typeEntry = root + 16 + ti * 8;
    entryId(typeEntry, items[types[ti].first].type);
    const size_t typeTable =
        table(named(typeNames, false), typeNames.size() - named(typeNames, false));
    Put32(&t, typeEntry + 4, uint32_t(typeTable) | kSubdirectoryFlag);
    for (size_t ni = 0; ni < typeNames.size(); ++ni) {
      const Group& g = typeNames[ni];
      const size_t nameEntry = typeTable + 16 + ni * 8;
      entryId(nameEntry, items[g.first].name);
      const size_t languageTable = table(0, g.end - g.first);
      Put32(&t, nameEntry + 4, uint32_t(languageTable) | kSubdirectoryFlag);
      for (size_t i = g.first; i < g.end; ++i) {
        const size_t entry = languageTable + 16 + (i - g.first) * 8;
        Put32(&t, entry, items[i].language);
        languageEntries.push_back(entry);
      }
    }
  }
  std::vector<size_t> dataEntries;
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t entry = t.size();
    t.resize(entry + 16, 0);
    Put32(&t, languageEntries[i] + 4, uint32_t(entry));
    dataEntries.push_back(entry);
  }
  for (const auto& field : nameFields) {
    const size_t at = t.size();
    Put32(&t, field.first, uint32_t(at) | kSubdirectoryFlag);
    t.resize(at + 2 + field.second->size() * 2, 0);
    Put16(&t, at, uint32_t(field.second->size()));
    for (size_t c = 0; c < field.second->size(); ++c) Put16(&t, at + 2 + c * 2, (*field.second)[c]);
  }
  // The data last, each at its boundary; the sum is checked first so that
  // a size past 32 bits is refused, not wrapped.
  uint64_t end = t.size();
  for (const Item& item : items) end = AlignUp(end, kDataAlignment) + item.size;
  if (uint64_t(rva) + end > kMaxImageSize) return Fail(error, "resources too large for the image");
  dataOffsets->clear();
  end = t.size();
  for (size_t i = 0; i < items.size(); ++i) {
    const uint64_t at = AlignUp(end, kDataAlignment);
    dataOffsets->push_back(at);
    Put32(&t, dataEntries[i], rva + uint32_t(at));
    Put32(&t, dataEntries[i] + 4, uint32_t(items[i].size));
    Put32(&t, dataEntries[i] + 8, items[i].codePage);
    end = at + items[i].size;
  }
  *size = end;
  return true;
}

bool Matches(const Item& item, const WireId& type, const WireId& name, int language) {
  return Same(item.type, type) && Same(item.name, name) &&
         (language < 0 || item.language == language);
}

}  // namespace

bool Utf8ToUtf16(const std::string& text, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    const uint8_t b = uint8_t(text[i]);
    uint32_t c;
    size_t length;
    if (b < 0x80) {
      c = b, length = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F, length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F, length = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, length = 4;
    } else {
      return false;
    }
    if (length > text.size() - i) return false;
    for (size_t k = 1; k < length; ++k) {
      const uint8_t next = uint8_t(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = c << 6 | (next & 0x3F);
    }
    static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    if (c >= 0x10000) {
      out->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      out->push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out->push_back(char16_t(c));
    }
    i += length;
  }
  return true;
}

void PeCheckSumAccumulator::Add(const uint8_t* bytes, size_t size) {
  length_ += size;
  size_t i = 0;
  if (size != 0 && pending_ >= 0) {
    AddWord(uint32_t(pending_) | uint32_t(bytes[0]) << 8);
    pending_ = -1;
    i = 1;
  }
  for (; i + 1 < size; i += 2) AddWord(bytes[i] | uint32_t(bytes[i + 1]) << 8);
  if (i < size) pending_ = bytes[i];
}

void PeCheckSumAccumulator::AddWord(uint32_t word) {
  sum_ += word;
  sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

uint32_t PeCheckSumAccumulator::Finish() const {
  uint64_t sum = sum_;
  if (pending_ >= 0) {  // an odd last byte is a word of its own
    sum += uint32_t(pending_);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t((sum & 0xFFFF) + length_);
}

uint32_t PeCheckSum(const uint8_t* file, size_t size, size_t checksumOffset) {
  PeCheckSumAccumulator sum;
  const uint8_t zeros[4] = {};
  if (checksumOffset >= size) {
    sum.Add(file, size);
    return sum.Finish();
  }
  const size_t after = std::min(size, checksumOffset + 4);
  sum.Add(file, checksumOffset);
  sum.Add(zeros, after - checksumOffset);
  sum.Add(file + after, size - after);
  return sum.Finish();
}

namespace {

// The written file as it goes out: appended to `out` and added to the
// checksum.
class Emitter {
 public:
  explicit Emitter(PeOutput* out) : out_(out) {}
  bool Bytes(const uint8_t* bytes, size_t size, std::string* error) {
    sum_.Add(bytes, size);
    written_ += size;
    return size == 0 || out_->Append(bytes, size, error);
  }
  bool Zeros(uint64_t count, std::string* error) {
    static const uint8_t kZeros[4096] = {};
    for (; count != 0;) {
      const size_t n = size_t(std::min<uint64_t>(count, sizeof kZeros));
      if (!Bytes(kZeros, n, error)) return false;
      count -= n;
    }
    return true;
  }
  // `source`'s bytes, which must be exactly its size.
  bool Source(const PeDataSource& source, std::string* error) {
    const uint64_t start = written_;
    const bool read = source.read([this](const uint8_t* piece, size_t size,
                                         std::string* why) { return Bytes(piece, size, why); },
                                  error);
    if (!read) return false;
    if (written_ - start != source.size) {
      return Fail(error, "a resource's data did not have the size it was given with");
    }
    return true;
  }
  uint64_t written() const { return written_; }
  uint32_t CheckSum() const { return sum_.Finish(); }

 private:
  PeOutput* out_;
  PeCheckSumAccumulator sum_;
  uint64_t written_ = 0;
};

class VectorOutput final : public PeOutput {
 public:
  explicit VectorOutput(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  bool Append(const uint8_t* bytes, size_t size, std::string*) override {
    bytes_->insert(bytes_->end(), bytes, bytes + size);
    return true;
  }
  bool Overwrite(uint64_t offset, const uint8_t* bytes, size_t size, std::string*) override {
    std::memcpy(bytes_->data() + offset, bytes, size);
    return true;
  }

 private:
  std::vector<uint8_t>* bytes_;
};

}  // namespace

bool WritePeResources(const uint8_t* file, size_t size, const PeResourceEdit& edit,
                      std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  VectorOutput output(out);
  if (WritePeResources(file, size, edit, &output, error)) return true;
  out->clear();
  return false;
}

bool WritePeResources(const uint8_t* file, size_t size, const PeResourceEdit& edit,
                      PeOutput* output, std::string* error) {
  Headers h;
  if (!ReadHeaders(file, size, &h, error)) return false;

  // A signature lies at the end of the file; dropping it means cutting it
  // off and clearing its directory entry.
  size_t kept = size;
  uint32_t certificateOffset = 0, certificateSize = 0;
  if (h.directoryCount > kCertificateDirectoryIndex) {
    certificateOffset = Get32(file + h.directories + kCertificateDirectoryIndex * 8);
    certificateSize = Get32(file + h.directories + kCertificateDirectoryIndex * 8 + 4);
  }
  if (certificateSize != 0) {
    if (!edit.dropSignature) {
      return Fail(error, "the executable is signed: its resources are written before signing");
    }
    if (certificateOffset > size || uint64_t(certificateOffset) + certificateSize != size) {
      return Fail(error, "damaged PE file: the signature does not end the file");
    }
    for (const SectionHeader& s : h.sections) {
      if (s.rawSize != 0 && uint64_t(s.rawOffset) + s.rawSize > certificateOffset) {
        return Fail(error, "damaged PE file: the signature overlaps a section");
      }
    }
    kept = certificateOffset;
  }

  PeImage image;
  if (!ReadPeImage(file, kept, &image, error)) return false;

  std::vector<Item> items;
  for (const PeResource& r : image.resources) {
    Item item;
    if (!ToWire(r.type, &item.type, error) || !ToWire(r.name, &item.name, error)) return false;
    item.language = r.language;
    item.codePage = r.codePage;
    item.data = file + r.offset;
    item.size = r.size;
    items.push_back(std::move(item));
  }
  for (const PeResourceKey& key : edit.remove) {
    WireId type, name;
    if (!ToWire(key.type, &type, error) || !ToWire(key.name, &name, error)) return false;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const Item& i) { return Matches(i, type, name, key.language); }),
                items.end());
  }
  std::vector<Item> added;
  for (const PeResourceData& r : edit.set) {
    Item item;
    if (!ToWire(r.type, &item.type, error) || !ToWire(r.name, &item.name, error)) return false;
    item.language = r.language;
    item.codePage = r.codePage;
    for (const Item& other : added) {
      if (Matches(other, item.type, item.name, item.language)) {
        return Fail(error,
                    "resource " + r.type.ToString() + "/" + r.name.ToString() + " set twice");
      }
    }
    if (r.source.read) {
      item.source = &r.source;
      item.size = r.source.size;
    } else {
      item.data = r.data.data();
      item.size = r.data.size();
    }
    if (item.size > kMaxImageSize) return Fail(error, "resources too large for the image");
    added.push_back(std::move(item));
  }
  for (Item& item : added) {
    items.erase(std::remove_if(
                    items.begin(), items.end(),
                    [&](const Item& i) { return Matches(i, item.type, item.name, item.language); }),
                items.end());
  }
  for (Item& item : added) items.push_back(std::move(item));
  std::stable_sort(items.begin(), items.end(), Before);

  // The section that holds the present tree, when it is a section of its
  // own: only then may its bytes be cleared or replaced.
  const uint32_t oldRva = Get32(file + h.directories + kResourceDirectoryIndex * 8);
  const SectionHeader* old = nullptr;
  for (const SectionHeader& s : h.sections) {
    if (oldRva != 0 && s.virtualAddress == oldRva && std::memcmp(s.name, ".rsrc\0\0\0", 8) == 0) {
      old = &s;
    }
  }
  const bool oldIsLast = old != nullptr && old == &h.sections.back();

  // The file up to the new tree's bytes, with the headers changed; the tree
  // and the data are written after it.
  std::vector<uint8_t> o(file, file + kept);
  uint64_t imageEnd = AlignUp(h.sizeOfHeaders, h.sectionAlignment);
  for (const SectionHeader& s : h.sections)
    imageEnd = std::max(imageEnd, s.VirtualEnd(h.sectionAlignment));

  size_t header;  // of the section that will hold the tree
  uint32_t rva;
  uint32_t initializedDelta;  // added to SizeOfInitializedData, modulo 2^32
  uint64_t rawOffset = AlignUp(o.size(), h.fileAlignment);
  if (oldIsLast) {
    header = old->at;
    rva = old->virtualAddress;
    initializedDelta = 0u - old->rawSize;
    bool endsFile = old->rawSize != 0 && uint64_t(old->rawOffset) + old->rawSize == o.size() &&
                    h.symbolTable <= old->rawOffset;
    for (const SectionHeader& s : h.sections) {
      if (&s != old && s.rawSize != 0 && uint64_t(s.rawOffset) + s.rawSize > old->rawOffset) {
        endsFile = false;
      }
    }
    if (endsFile) {
      o.resize(old->rawOffset);
      rawOffset = old->rawOffset;
    } else if (old->rawSize != 0) {
      std::fill(o.begin() + old->rawOffset, o.begin() + old->rawOffset + old->rawSize, 0);
    }
  } else {
    header = h.sectionTable + h.sections.size() * kSectionHeaderSize;
    uint64_t firstBytes = o.size();
    for (const SectionHeader& s : h.sections) {
      if (s.rawSize != 0) firstBytes = std::min<uint64_t>(firstBytes, s.rawOffset);
    }
    bool room = h.sections.size() < kMaxSections &&
                header + kSectionHeaderSize <= h.sizeOfHeaders &&
                header + kSectionHeaderSize <= firstBytes;
    for (size_t i = header; room && i < header + kSectionHeaderSize; ++i) room = o[i] == 0;
    if (!room) {
      return Fail(error, "no room for another section header before the first section");
    }
    rva = uint32_t(AlignUp(imageEnd, h.sectionAlignment));
    initializedDelta = 0;
    if (old != nullptr) {
      // Kept for its place in the image, under another name and without
      // its bytes, which no one reads any more.
      std::memcpy(o.data() + old->at, ".oldrsrc", 8);
      if (old->rawSize != 0) {
        std::fill(o.begin() + old->rawOffset, o.begin() + old->rawOffset + old->rawSize, 0);
      }
    }
    Put16(&o, h.numberOfSections, uint32_t(h.sections.size() + 1));
  }

  std::vector<uint8_t> tree;
  std::vector<uint64_t> dataOffsets;
  uint64_t treeSize = 0;
  if (!BuildTree(items, rva, &tree, &dataOffsets, &treeSize, error)) return false;
  const uint64_t rawSize = AlignUp(treeSize, h.fileAlignment);
  const uint64_t sizeOfImage = AlignUp(uint64_t(rva) + treeSize, h.sectionAlignment);
  if (sizeOfImage > kMaxImageSize || rawOffset + rawSize > kMaxImageSize) {
    return Fail(error, "resources too large for the image");
  }
  o.resize(size_t(rawOffset), 0);

  std::memcpy(o.data() + header, ".rsrc\0\0\0", 8);
  Put32(&o, header + 8, uint32_t(treeSize));
  Put32(&o, header + 12, rva);
  Put32(&o, header + 16, uint32_t(rawSize));
  Put32(&o, header + 20, uint32_t(rawOffset));
  for (size_t field = 24; field < 36; field += 4)
    Put32(&o, header + field, 0);  // no relocations, line numbers
  Put32(&o, header + 36, kResourceCharacteristics);

  const size_t initialized = h.optional + kSizeOfInitializedData;
  Put32(&o, initialized, Get32(o.data() + initialized) + initializedDelta + uint32_t(rawSize));
  Put32(&o, h.optional + kSizeOfImage, uint32_t(sizeOfImage));
  Put32(&o, h.directories + kResourceDirectoryIndex * 8, rva);
  Put32(&o, h.directories + kResourceDirectoryIndex * 8 + 4, uint32_t(treeSize));
  if (certificateSize != 0) {
    Put32(&o, h.directories + kCertificateDirectoryIndex * 8, 0);
    Put32(&o, h.directories + kCertificateDirectoryIndex * 8 + 4, 0);
  }
  Put32(&o, h.optional + kCheckSum, 0);

  // Out in file order: the headers and sections, the tree, each resource's
  // data at its boundary, the section's padding; then the checksum, which
  // covers them all.
  Emitter emit(output);
  if (!emit.Bytes(o.data(), o.size(), error) || !emit.Bytes(tree.data(), tree.size(), error)) {
    return false;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (!emit.Zeros(rawOffset + dataOffsets[i] - emit.written(), error) ||
        !(items[i].source != nullptr ? emit.Source(*items[i].source, error)
                                     : emit.Bytes(items[i].data, size_t(items[i].size), error))) {
      return false;
    }
  }
  if (!emit.Zeros(rawOffset + rawSize - emit.written(), error)) return false;
  uint8_t checksum[4];
  const uint32_t value = emit.CheckSum();
  for (int b = 0; b < 4; ++b) checksum[b] = uint8_t(value >> (8 * b));
  return output->Overwrite(h.optional + kCheckSum, checksum, 4, error);
}
