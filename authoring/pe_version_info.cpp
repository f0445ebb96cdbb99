#include "authoring/pe_version_info.h"

#include "authoring/utf8_append.h"

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;

// One block of the version resource: its length, its key and where its
// value and children lie. Blocks start on 32-bit boundaries of the resource.
struct Block {
  size_t begin = 0;
  size_t end = 0;  // begin + the block's own length
  size_t valueLength = 0;
  std::string key;   // UTF-8
  size_t value = 0;  // offset of the value; the children follow it
};

size_t Align4(size_t offset) { return (offset + 3) & ~size_t(3); }

class VersionReader {
 public:
  explicit VersionReader(const uint8_t* data) : data_(data) {}

  uint16_t U16(size_t at) const { return uint16_t(data_[at] | data_[at + 1] << 8); }
  uint32_t U32(size_t at) const { return uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16; }

  // The block at `begin`, which must end by `limit`.
  bool ReadBlock(size_t begin, size_t limit, Block* block) const {
    if (begin > limit || limit - begin < 6) return false;
    const size_t length = U16(begin);
    if (length < 6 || length > limit - begin) return false;
    block->begin = begin;
    block->end = begin + length;
    block->valueLength = U16(begin + 2);
    size_t at = begin + 6;
    if (!ReadText(at, block->end, &block->key, &at)) return false;
    block->value = Align4(at);
    return true;
  }

  // A NUL-terminated UTF-16 text from `at` that must end by `limit`;
  // `after` is the offset behind its terminator.
  bool ReadText(size_t at, size_t limit, std::string* text, size_t* after) const {
    text->clear();
    while (at + 2 <= limit) {
      uint32_t c = U16(at);
      at += 2;
      if (c == 0) {
        *after = at;
        return true;
      }
      if (c >= 0xD800 && c < 0xDC00 && at + 2 <= limit) {
        const uint32_t low = U16(at);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          at += 2;
        }
      }
      if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
      AppendUtf8(c, text);
    }
    return false;
  }

 private:
  const uint8_t* data_;
};

bool Damaged(std::string* error, const char* what) {
  *error = std::string("damaged version resource: ") + what;
  return false;
}

// The strings of one StringFileInfo block.
bool ReadStringFileInfo(const VersionReader& reader, const Block& info, PeVersionInfo* out,
                        std::string* error) {
  for (size_t at = info.value; at < info.end;) {
    Block table;
    if (!reader.ReadBlock(at, info.end, &table)) return Damaged(error, "string table");
    for (size_t s = table.value; s < table.end;) {
      Block entry;
      if (!reader.ReadBlock(s, table.end, &entry)) return Damaged(error, "string");
      PeVersionString string{table.key, entry.key, ""};
      // The value runs to its NUL or to the block's end, whatever its
      // stated length says; a value without its NUL keeps what is there.
      size_t after = 0;
      if (entry.value < entry.end) reader.ReadText(entry.value, entry.end, &string.value, &after);
      out->strings.push_back(string);
      s = Align4(entry.end);
    }
    at = Align4(table.end);
  }
  return true;
}

}  // namespace

bool ReadPeVersionInfo(const uint8_t* data, size_t size, PeVersionInfo* info, std::string* error) {
  *info = PeVersionInfo();
  const VersionReader reader(data);
  Block root;
  if (!reader.ReadBlock(0, size, &root) || root.key != "VS_VERSION_INFO") {
    return Damaged(error, "no VS_VERSION_INFO block");
  }
  if (root.valueLength < kFixedInfoSize || root.value > root.end ||
      root.end - root.value < kFixedInfoSize || reader.U32(root.value) != kFixedInfoSignature) {
    return Damaged(error, "no fixed part");
  }
  const size_t fixed = root.value;
  const uint32_t fileMs = reader.U32(fixed + 8), fileLs = reader.U32(fixed + 12);
  const uint32_t productMs = reader.U32(fixed + 16), productLs = reader.U32(fixed + 20);
  const uint32_t parts[2][2] = {{fileMs, fileLs}, {productMs, productLs}};
  uint16_t* targets[2] = {info->fileVersion, info->productVersion};
  for (int v = 0; v < 2; ++v) {
    targets[v][0] = uint16_t(parts[v][0] >> 16);
    targets[v][1] = uint16_t(parts[v][0]);
    targets[v][2] = uint16_t(parts[v][1] >> 16);
    targets[v][3] = uint16_t(parts[v][1]);
  }
  for (size_t at = Align4(fixed + root.valueLength); at < root.end;) {
    Block child;
    if (!reader.ReadBlock(at, root.end, &child))
      return Damaged(error, "block after the fixed part");
    if (child.key == "StringFileInfo" && !ReadStringFileInfo(reader, child, info, error)) {
      return false;
    }
    at = Align4(child.end);
  }
  return true;
}

const std::string* FindVersionString(const PeVersionInfo& info, const std::string& key) {
  for (const PeVersionString& s : info.strings) {
    if (s.key == key) return &s.value;
  }
  return nullptr;
}
