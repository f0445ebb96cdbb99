// The executable resource writer and the version resource builder: small
// PE32 and PE32+ images made here, in the section layouts that linkers
// write, rewritten and read back with the resource reader.
#include "authoring/pe_resource_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "authoring/little_endian.h"
#include "authoring/pe_resources.h"
#include "authoring/pe_version_info.h"
#include "authoring/pe_version_writer.h"
#include "tests/support/command_output.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

struct Res {
  PeResourceId type;
  PeResourceId name;
  uint16_t language;
  std::string data;
};

// A resource tree as it lies at `rva`: a table for each type, name and
// language level, then the data entries, the names and the data. Entries
// stay in the order given: the reader does not rely on order.
std::vector<uint8_t> BuildTree(const std::vector<Res>& items, uint32_t rva) {
  std::vector<std::string> typeOrder;
  std::map<std::string, std::vector<std::string>> nameOrder;
  std::map<std::string, PeResourceId> ids;
  for (const Res& r : items) {
    const std::string t = r.type.ToString(), n = r.name.ToString();
    ids[t] = r.type;
    ids[t + "/" + n] = r.name;
    if (std::find(typeOrder.begin(), typeOrder.end(), t) == typeOrder.end()) typeOrder.push_back(t);
    auto& names = nameOrder[t];
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  }
  std::vector<uint8_t> tree;
  std::vector<std::pair<size_t, std::string>> nameFixups;
  std::vector<std::pair<size_t, const Res*>> dataFixups;
  auto table = [&](size_t count) {
    const size_t at = tree.size();
    tree.resize(at + 16 + count * 8, 0);
    Put16(&tree, at + 14, uint32_t(count));  // all counted as numbered: enough for the reader
    return at;
  };
  auto id = [&](size_t entry, const PeResourceId& id) {
    if (id.isName)
      nameFixups.push_back({entry, id.name});
    else
      Put32(&tree, entry, id.number);
  };
  const size_t root = table(typeOrder.size());
  for (size_t ti = 0; ti < typeOrder.size(); ++ti) {
    const std::string& t = typeOrder[ti];
    const auto& names = nameOrder[t];
    id(root + 16 + ti * 8, ids[t]);
    const size_t typeTable = table(names.size());
    Put32(&tree, root + 16 + ti * 8 + 4, uint32_t(typeTable) | 0x80000000u);
    for (size_t ni = 0; ni < names.size(); ++ni) {
      std::vector<const Res*> languages;
      for (const Res& r : items) {
        if (r.type.ToString() == t && r.name.ToString() == names[ni]) languages.push_back(&r);
      }
      id(typeTable + 16 + ni * 8, ids[t + "/" + names[ni]]);
      const size_t languageTable = table(languages.size());
      Put32(&tree, typeTable + 16 + ni * 8 + 4, uint32_t(languageTable) | 0x80000000u);
      for (size_t li = 0; li < languages.size(); ++li) {
        Put32(&tree, languageTable + 16 + li * 8, languages[li]->language);
        dataFixups.push_back({languageTable + 16 + li * 8 + 4, languages[li]});
      }
    }
  }
  std::vector<size_t> dataEntries;
  for (const auto& fix : dataFixups) {
    const size_t entry = tree.size();
    tree.resize(entry + 16, 0);
    Put32(&tree, fix.first, uint32_t(entry));
    Put32(&tree, entry + 4, uint32_t(fix.second->data.size()));
    Put32(&tree, entry + 8, 1252);
    dataEntries.push_back(entry);
  }
  for (const auto& fix : nameFixups) {
    const size_t at = tree.size();
    Put32(&tree, fix.first, uint32_t(at) | 0x80000000u);
    tree.resize(at + 2 + fix.second.size() * 2, 0);
    Put16(&tree, at, uint32_t(fix.second.size()));
    for (size_t c = 0; c < fix.second.size(); ++c)
      Put16(&tree, at + 2 + c * 2, uint8_t(fix.second[c]));
  }
  for (size_t i = 0; i < dataFixups.size(); ++i) {
    const std::string& data = dataFixups[i].second->data;
    const size_t at = (tree.size() + 3) & ~size_t(3);
    tree.resize(at + data.size(), 0);
    std::memcpy(tree.data() + at, data.data(), data.size());
    Put32(&tree, dataEntries[i], rva + uint32_t(at));
  }
  return tree;
}

constexpr uint32_t kFileAlignment = 0x200, kSectionAlignment = 0x1000;
constexpr size_t kPeHeader = 0x40;

// The sections of a test image, in image order.
enum class Shape {
  kResourcesInTheMiddle,   // .text .rsrc .reloc, then a symbol table (as MinGW ld)
  kResourcesLast,          // .text .rsrc, its bytes ending the file
  kResourcesLastThenData,  // .text .rsrc, then a symbol table after its bytes
  kNoResources,            // .text .reloc, no resource directory
};

struct Image {
  std::vector<uint8_t> file;
  size_t optional = 0;
  size_t directories = 0;
  size_t sectionTable = 0;
  size_t rsrcHeader = 0;  // 0 without resources
  size_t rsrcRoot = 0;    // file offset of the tree
  // Bytes that must stay where they are: [offset, offset + size).
  std::vector<std::pair<size_t, size_t>> fixed;
};

Image BuildImage(bool pe32Plus, Shape shape, const std::vector<Res>& resources) {
  Image img;
  struct Section {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t characteristics;
    bool resources;
  };
  std::vector<Section> sections;
  sections.push_back({".text", std::vector<uint8_t>(0x180, 0xCC), 0x60000020, false});
  if (shape != Shape::kNoResources) sections.push_back({".rsrc", {}, 0xC0000040, true});
  if (shape == Shape::kResourcesInTheMiddle || shape == Shape::kNoResources) {
    sections.push_back({".reloc", std::vector<uint8_t>(0x90, 0xAB), 0x42000040, false});
  }
  const bool symbols =
      shape == Shape::kResourcesInTheMiddle || shape == Shape::kResourcesLastThenData;

  const size_t optionalSize = pe32Plus ? 240 : 224;
  img.optional = kPeHeader + 24;
  img.directories = img.optional + (pe32Plus ? 112 : 96);
  img.sectionTable = img.optional + optionalSize;
  std::vector<uint8_t>& f = img.file;
  f.assign(0x400, 0);  // SizeOfHeaders
  f[0] = 'M';
  f[1] = 'Z';
  Put32(&f, 0x3C, kPeHeader);
  Put32(&f, kPeHeader, 0x00004550);
  Put16(&f, kPeHeader + 4, pe32Plus ? kPeMachineAmd64 : kPeMachineI386);
  Put16(&f, kPeHeader + 6, uint32_t(sections.size()));
  Put16(&f, kPeHeader + 20, uint32_t(optionalSize));
  Put16(&f, kPeHeader + 22, 0x102);
  Put16(&f, img.optional, pe32Plus ? 0x20B : 0x10B);
  Put32(&f, img.optional + 32, kSectionAlignment);
  Put32(&f, img.optional + 36, kFileAlignment);
  Put32(&f, img.optional + 60, 0x400);
  Put32(&f, img.directories - 4, 16);

  uint32_t rva = 0x1000;
  uint32_t initialized = 0;
  for (size_t i = 0; i < sections.size(); ++i) {
    Section& s = sections[i];
    if (s.resources) s.bytes = BuildTree(resources, rva);
    const size_t header = img.sectionTable + i * 40;
    const size_t raw = f.size();
    const size_t rawSize = (s.bytes.size() + kFileAlignment - 1) & ~size_t(kFileAlignment - 1);
    f.resize(raw + rawSize, 0);
    std::memcpy(f.data() + raw, s.bytes.data(), s.bytes.size());
    std::memcpy(f.data() + header, s.name, std::strlen(s.name));
    Put32(&f, header + 8, uint32_t(s.bytes.size()));
    Put32(&f, header + 12, rva);
    Put32(&f, header + 16, uint32_t(rawSize));
    Put32(&f, header + 20, uint32_t(raw));
    Put32(&f, header + 36, s.characteristics);
    if (s.characteristics & 0x40) initialized += uint32_t(rawSize);
    if (s.resources) {
      img.rsrcHeader = header;
      img.rsrcRoot = raw;
      Put32(&f, img.directories + 2 * 8, rva);
      Put32(&f, img.directories + 2 * 8 + 4, uint32_t(s.bytes.size()));
    } else {
      img.fixed.push_back({raw, rawSize});
    }
    rva += uint32_t((s.bytes.size() + kSectionAlignment - 1) & ~size_t(kSectionAlignment - 1));
  }
  if (symbols) {
    Put32(&f, kPeHeader + 12, uint32_t(f.size()));
    img.fixed.push_back({f.size(), 0x123});
    f.resize(f.size() + 0x123, 0x5A);  // a symbol table and its strings, of odd length
  }
  Put32(&f, img.optional + 8, initialized);
  Put32(&f, img.optional + 56, rva);
  img.fixed.push_back({0, 0x40});  // the DOS header
  return img;
}

// The checksum computed another way: all words summed wide, folded once
// at the end.
uint32_t IndependentCheckSum(const std::vector<uint8_t>& f, size_t field) {
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < f.size(); i += 2) {
    if (i == field || i == field + 2) continue;
    sum += Get16(f, i);
  }
  if (f.size() % 2) sum += f.back();
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + f.size());
}

std::vector<Res> SampleResources() {
  return {
      {PeResourceId::Number(kPeResourceManifest), PeResourceId::Number(1), 0x411, "<assembly/>"},
      {PeResourceId::Number(5), PeResourceId::Number(100), 0x411, "dialog 100"},
      {PeResourceId::Number(5), PeResourceId::Name("WIZARD"), 0x409, "named dialog"},
      {PeResourceId::Number(5), PeResourceId::Name("WIZARD"), 0x411, "named dialog ja"},
      {PeResourceId::Number(kPeResourceVersion), PeResourceId::Number(1), 0x411, "version"},
  };
}

using Key = std::tuple<std::string, std::string, int>;

// Every resource of `file` by type, name and language, with its data;
// fails the test when the file does not read.
std::map<Key, std::string> ResourcesOf(const std::vector<uint8_t>& file) {
  PeImage image;
  std::string error;
  EXPECT_TRUE(ReadPeImage(file.data(), file.size(), &image, &error)) << error;
  std::map<Key, std::string> out;
  for (const PeResource& r : image.resources) {
    out[Key(r.type.ToString(), r.name.ToString(), r.language)] =
        std::string(reinterpret_cast<const char*>(file.data()) + r.offset, r.size);
  }
  return out;
}

PeResourceData Data(const PeResourceId& type, const PeResourceId& name, uint16_t language,
                    const std::string& data) {
  PeResourceData r;
  r.type = type;
  r.name = name;
  r.language = language;
  r.data = Bytes(data);
  return r;
}

std::vector<uint8_t> Rewrite(const std::vector<uint8_t>& file, const PeResourceEdit& edit) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(WritePeResources(file.data(), file.size(), edit, &out, &error)) << error;
  return out;
}

// The section header that holds `rva`.
size_t SectionOf(const std::vector<uint8_t>& f, const Image& img, uint32_t rva) {
  const size_t count = Get16(f, kPeHeader + 6);
  for (size_t i = 0; i < count; ++i) {
    const size_t h = img.sectionTable + i * 40;
    if (rva >= Get32(f, h + 12) && rva < Get32(f, h + 12) + Get32(f, h + 8)) return h;
  }
  return 0;
}

struct ShapeCase {
  const char* what;
  bool pe32Plus;
  Shape shape;
};

class RewrittenImage : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(RewrittenImage, KeepsAddsAndReplacesWithConsistentHeaders) {
  const ShapeCase& c = GetParam();
  const bool hadResources = c.shape != Shape::kNoResources;
  const Image img = BuildImage(c.pe32Plus, c.shape, SampleResources());
  PeResourceEdit edit;
  edit.set.push_back(
      Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "the archive"));
  edit.set.push_back(Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(103), 0x411,
                          std::string(32, '\x5E')));
  edit.set.push_back(
      Data(PeResourceId::Number(5), PeResourceId::Name("wizard"), 0x411, "new dialog"));
  const std::vector<uint8_t> out = Rewrite(img.file, edit);
  ASSERT_FALSE(out.empty());

  std::map<Key, std::string> expected;
  if (hadResources) {
    for (const Res& r : SampleResources()) {
      expected[Key(r.type.ToString(), r.name.ToString(), r.language)] = r.data;
    }
    expected.erase(Key("#5", "WIZARD", 0x411));
  }
  expected[Key("UPDATE", "#102", 0x411)] = "the archive";
  expected[Key("UPDATE", "#103", 0x411)] = std::string(32, '\x5E');
  // A name that differs in case only replaces the resource, under the
  // name the tree has.
  expected[Key("#5", hadResources ? "WIZARD" : "wizard", 0x411)] = "new dialog";
  EXPECT_EQ(expected, ResourcesOf(out));

  // Code, relocations and whatever follows the sections stay in place.
  for (const auto& range : img.fixed) {
    ASSERT_LE(range.first + range.second, out.size());
    EXPECT_TRUE(std::equal(img.file.begin() + range.first,
                           img.file.begin() + range.first + range.second,
                           out.begin() + range.first))
        << "bytes at " << range.first;
  }

  const bool inPlace = c.shape == Shape::kResourcesLast || c.shape == Shape::kResourcesLastThenData;
  const uint32_t sectionsBefore = Get16(img.file, kPeHeader + 6);
  EXPECT_EQ(sectionsBefore + (inPlace ? 0 : 1), Get16(out, kPeHeader + 6));
  const uint32_t rva = Get32(out, img.directories + 16);
  const uint32_t size = Get32(out, img.directories + 20);
  const size_t header = SectionOf(out, img, rva);
  ASSERT_NE(0u, header);
  EXPECT_EQ(0, std::memcmp(out.data() + header, ".rsrc\0\0\0", 8));
  EXPECT_EQ(rva, Get32(out, header + 12));
  EXPECT_EQ(0x40000040u, Get32(out, header + 36));
  EXPECT_EQ(size, Get32(out, header + 8));
  const uint32_t rawSize = Get32(out, header + 16), rawOffset = Get32(out, header + 20);
  EXPECT_EQ(0u, rawOffset % kFileAlignment);
  EXPECT_EQ(0u, rawSize % kFileAlignment);
  EXPECT_GE(rawSize, size);
  EXPECT_EQ(out.size(), size_t(rawOffset) + rawSize);
  // The sections stay adjacent and the image ends with the last.
  uint32_t end = 0x1000;
  for (uint32_t i = 0; i < Get16(out, kPeHeader + 6); ++i) {
    const size_t h = img.sectionTable + i * 40;
    EXPECT_EQ(end, Get32(out, h + 12)) << "section " << i;
    end = Get32(out, h + 12) +
          ((Get32(out, h + 8) + kSectionAlignment - 1) & ~(kSectionAlignment - 1));
  }
  EXPECT_EQ(end, Get32(out, img.optional + 56));
  if (inPlace) {
    EXPECT_EQ(Get32(img.file, img.rsrcHeader + 12), rva);
  } else if (hadResources) {
    // The old section keeps its place, under another name, without bytes.
    EXPECT_EQ(0, std::memcmp(out.data() + img.rsrcHeader, ".oldrsrc", 8));
    const size_t oldRaw = Get32(out, img.rsrcHeader + 20),
                 oldSize = Get32(out, img.rsrcHeader + 16);
    EXPECT_TRUE(std::all_of(out.begin() + oldRaw, out.begin() + oldRaw + oldSize,
                            [](uint8_t b) { return b == 0; }));
  }
  const uint32_t oldRawSize = inPlace ? Get32(img.file, img.rsrcHeader + 16) : 0;
  EXPECT_EQ(Get32(img.file, img.optional + 8) - oldRawSize + rawSize, Get32(out, img.optional + 8));
  EXPECT_EQ(IndependentCheckSum(out, img.optional + 64), Get32(out, img.optional + 64));
}

TEST_P(RewrittenImage, SameInputsGiveSameBytesAndRewritingIsStable) {
  const Image img = BuildImage(GetParam().pe32Plus, GetParam().shape, SampleResources());
  PeResourceEdit edit;
  edit.set.push_back(
      Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "archive"));
  const std::vector<uint8_t> first = Rewrite(img.file, edit);
  EXPECT_EQ(first, Rewrite(img.file, edit));
  // The result has its resources in the last section at the end of the
  // file: writing the same again replaces them in place, byte for byte.
  EXPECT_EQ(first, Rewrite(first, edit));
}

const ShapeCase kShapes[] = {
    {"Pe32ResourcesInTheMiddle", false, Shape::kResourcesInTheMiddle},
    {"Pe32PlusResourcesInTheMiddle", true, Shape::kResourcesInTheMiddle},
    {"Pe32ResourcesLast", false, Shape::kResourcesLast},
    {"Pe32PlusResourcesLast", true, Shape::kResourcesLast},
    {"Pe32PlusResourcesLastThenSymbols", true, Shape::kResourcesLastThenData},
    {"Pe32NoResources", false, Shape::kNoResources},
};

INSTANTIATE_TEST_SUITE_P(Shapes, RewrittenImage, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<ShapeCase>& info) {
                           return std::string(info.param.what);
                         });

TEST(PeResourceWriter, RemovesEveryLanguageOrOneAndIgnoresWhatIsAbsent) {
  const Image img = BuildImage(false, Shape::kResourcesInTheMiddle, SampleResources());
  PeResourceEdit edit;
  edit.remove.push_back({PeResourceId::Number(5), PeResourceId::Name("Wizard"), -1});
  edit.remove.push_back(
      {PeResourceId::Number(kPeResourceManifest), PeResourceId::Number(1), 0x409});
  edit.remove.push_back({PeResourceId::Name("ABSENT"), PeResourceId::Number(1), -1});
  const std::map<Key, std::string> got = ResourcesOf(Rewrite(img.file, edit));
  const std::map<Key, std::string> expected = {
      {Key("#24", "#1", 0x411), "<assembly/>"},
      {Key("#5", "#100", 0x411), "dialog 100"},
      {Key("#16", "#1", 0x411), "version"},
  };
  EXPECT_EQ(expected, got);
}

// The loader finds entries by binary search: names first, in the order of
// their upper case, then numbers ascending, languages ascending.
TEST(PeResourceWriter, SortsEntriesAsTheLoaderSearchesThem) {
  const Image img = BuildImage(true, Shape::kNoResources, {});
  PeResourceEdit edit;
  const char* names[] = {"beta", "Alpha", "A_B", "AAB", "\xC3\xA9t\xC3\xA9", "ZED"};
  for (const char* n : names) {
    edit.set.push_back(Data(PeResourceId::Number(10), PeResourceId::Name(n), 0x411, n));
  }
  for (uint16_t id : {300, 3, 40}) {
    edit.set.push_back(Data(PeResourceId::Number(10), PeResourceId::Number(id), 0x409, "n"));
    edit.set.push_back(Data(PeResourceId::Number(10), PeResourceId::Number(id), 0x407, "n"));
  }
  edit.set.push_back(Data(PeResourceId::Name("TYPE"), PeResourceId::Number(1), 0, "t"));
  const std::vector<uint8_t> out = Rewrite(img.file, edit);
  const size_t header = SectionOf(out, img, Get32(out, img.directories + 16));
  ASSERT_NE(0u, header);
  const size_t root = Get32(out, header + 20);

  auto entries = [&](size_t table) {
    std::vector<std::string> list;
    const size_t named = Get16(out, table + 12), count = named + Get16(out, table + 14);
    for (size_t i = 0; i < count; ++i) {
      const uint32_t id = Get32(out, table + 16 + i * 8);
      EXPECT_EQ(i < named, (id & 0x80000000u) != 0) << i;
      if (id & 0x80000000u) {
        const size_t at = root + (id & 0x7FFFFFFFu);
        std::string name;
        for (size_t c = 0; c < Get16(out, at); ++c) {
          const uint32_t unit = Get16(out, at + 2 + c * 2);
          name += unit < 0x80 ? std::string(1, char(unit)) : "<" + std::to_string(unit) + ">";
        }
        list.push_back(name);
      } else {
        list.push_back("#" + std::to_string(id));
      }
    }
    return list;
  };
  auto child = [&](size_t table, size_t i) {
    return root + (Get32(out, table + 16 + i * 8 + 4) & 0x7FFFFFFFu);
  };
  EXPECT_EQ((std::vector<std::string>{"TYPE", "#10"}), entries(root));
  const size_t type10 = child(root, 1);
  // '_' (0x5F) sorts after the letters in upper case; U+00E9 as U+00C9.
  EXPECT_EQ((std::vector<std::string>{"AAB", "Alpha", "A_B", "beta", "ZED", "<233>t<233>", "#3",
                                      "#40", "#300"}),
            entries(type10));
  EXPECT_EQ((std::vector<std::string>{"#1031", "#1033"}), entries(child(type10, 6)));

  const std::map<Key, std::string> got = ResourcesOf(out);
  for (const char* n : names) EXPECT_EQ(n, got.at(Key("#10", n, 0x411)));
}

TEST(PeResourceWriter, CarriesALargeResource) {
  std::string archive(5 * 1024 * 1024 + 13, '\0');
  std::mt19937 random(7);
  for (char& c : archive) c = char(random());
  for (bool pe32Plus : {false, true}) {
    const Image img = BuildImage(pe32Plus, Shape::kResourcesInTheMiddle, SampleResources());
    PeResourceEdit edit;
    edit.set.push_back(
        Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, archive));
    const std::vector<uint8_t> out = Rewrite(img.file, edit);
    const std::map<Key, std::string> got = ResourcesOf(out);
    ASSERT_EQ(1u, got.count(Key("UPDATE", "#102", 0x411)));
    EXPECT_TRUE(got.at(Key("UPDATE", "#102", 0x411)) == archive);
    EXPECT_EQ(SampleResources().size() + 1, got.size());
    EXPECT_EQ(IndependentCheckSum(out, img.optional + 64), Get32(out, img.optional + 64));
  }
}

// A file written in pieces, to a file of its own: appended bytes, and
// bytes written over them.
class PiecesOutput final : public PeOutput {
 public:
  bool Append(const uint8_t* bytes, size_t size, std::string*) override {
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    ++appends_;
    return true;
  }
  bool Overwrite(uint64_t offset, const uint8_t* bytes, size_t size, std::string*) override {
    if (offset + size > bytes_.size()) return false;
    std::copy(bytes, bytes + size, bytes_.begin() + offset);
    return true;
  }
  std::vector<uint8_t> bytes_;
  size_t appends_ = 0;
};

// `data` given a `piece` bytes at a time.
PeDataSource SourceOf(const std::string& data, size_t piece) {
  PeDataSource source;
  source.size = data.size();
  source.read = [data, piece](const PeDataSource::PieceTaker& take, std::string* error) {
    for (size_t at = 0; at < data.size(); at += piece) {
      const size_t n = std::min(piece, data.size() - at);
      if (!take(reinterpret_cast<const uint8_t*>(data.data()) + at, n, error)) return false;
    }
    return true;
  };
  return source;
}

// Data read a piece at a time, of odd and even sizes in odd and even
// pieces, gives the very file that the same data in memory gives: the
// checksum summed across pieces included.
TEST(PeResourceWriter, DataFromASourceGivesTheSameFile) {
  std::mt19937 random(11);
  for (size_t size : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(70001)}) {
    std::string data(size, '\0');
    for (char& c : data) c = char(random());
    for (size_t piece : {size_t(1), size_t(3), size_t(4096)}) {
      for (Shape shape : {Shape::kResourcesInTheMiddle, Shape::kResourcesLast}) {
        const Image img = BuildImage(true, shape, SampleResources());
        PeResourceEdit inMemory;
        inMemory.set.push_back(
            Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, data));
        inMemory.set.push_back(
            Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(103), 0x411, "digest"));
        PeResourceEdit streamed = inMemory;
        streamed.set[0].data.clear();
        streamed.set[0].source = SourceOf(data, piece);
        PiecesOutput out;
        std::string error;
        ASSERT_TRUE(WritePeResources(img.file.data(), img.file.size(), streamed, &out, &error))
            << error;
        EXPECT_TRUE(out.bytes_ == Rewrite(img.file, inMemory))
            << "size " << size << ", pieces of " << piece;
      }
    }
  }
}

// A source that fails, or gives more or fewer bytes than its size, fails
// the write with its reason.
TEST(PeResourceWriter, ASourceThatFailsOrLiesFailsTheWrite) {
  const Image img = BuildImage(false, Shape::kResourcesInTheMiddle, SampleResources());
  struct Case {
    const char* what;
    PeDataSource source;
    const char* expected;
  };
  PeDataSource failing = SourceOf("archive", 2);
  failing.read = [](const PeDataSource::PieceTaker&, std::string* error) {
    *error = "cannot read archive.bin";
    return false;
  };
  PeDataSource shorter = SourceOf("archive", 2);
  shorter.size = 8;
  PeDataSource longer = SourceOf("archive", 2);
  longer.size = 6;
  const Case cases[] = {{"failing", failing, "cannot read archive.bin"},
                        {"shorter", shorter, "did not have the size it was given with"},
                        {"longer", longer, "did not have the size it was given with"}};
  for (const Case& c : cases) {
    PeResourceEdit edit;
    edit.set.push_back(Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, ""));
    edit.set[0].source = c.source;
    PiecesOutput out;
    std::string error;
    EXPECT_FALSE(WritePeResources(img.file.data(), img.file.size(), edit, &out, &error)) << c.what;
    EXPECT_NE(std::string::npos, error.find(c.expected)) << c.what << ": " << error;
  }
}

// A signature covers the bytes that change: refused, or dropped when asked.
TEST(PeResourceWriter, RefusesASignedImageUnlessTheSignatureIsDropped) {
  Image img = BuildImage(true, Shape::kResourcesInTheMiddle, SampleResources());
  const std::vector<uint8_t> unsigned_ = img.file;
  const size_t certificate = img.file.size() + 5;  // 8-byte aligned
  img.file.resize(certificate + 0x100, 0x77);
  Put32(&img.file, img.directories + 4 * 8, uint32_t(certificate));
  Put32(&img.file, img.directories + 4 * 8 + 4, 0x100);
  PeResourceEdit edit;
  edit.set.push_back(Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "a"));
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_FALSE(WritePeResources(img.file.data(), img.file.size(), edit, &out, &error));
  EXPECT_NE(std::string::npos, error.find("signed")) << error;

  edit.dropSignature = true;
  const std::vector<uint8_t> dropped = Rewrite(img.file, edit);
  PeImage image;
  ASSERT_TRUE(ReadPeImage(dropped.data(), dropped.size(), &image, &error)) << error;
  EXPECT_EQ(0u, image.certificateOffset);
  EXPECT_EQ(0u, image.certificateSize);
  EXPECT_EQ(dropped.end(),
            std::search(dropped.begin(), dropped.end(), img.file.end() - 0x100, img.file.end()));
  // The unsigned image, rewritten, has the same resources.
  edit.dropSignature = false;
  EXPECT_EQ(ResourcesOf(Rewrite(unsigned_, edit)), ResourcesOf(dropped));
}

struct RefusedCase {
  const char* what;
  std::function<void(Image*, PeResourceEdit*)> change;
  const char* error;  // a part of the expected message
};

class RefusedInput : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedInput, GivesAReasonAndNoBytes) {
  Image img = BuildImage(false, Shape::kResourcesInTheMiddle, SampleResources());
  PeResourceEdit edit;
  edit.set.push_back(Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "a"));
  GetParam().change(&img, &edit);
  std::vector<uint8_t> out(3, 1);
  std::string error;
  EXPECT_FALSE(WritePeResources(img.file.data(), img.file.size(), edit, &out, &error));
  EXPECT_NE(std::string::npos, error.find(GetParam().error)) << error;
  EXPECT_TRUE(out.empty());
}

// Offsets of the tree that the cases damage: the root's first entry and
// the data entry it leads to.
size_t RootEntry(const Image& img) { return img.rsrcRoot + 16; }
size_t FirstDataEntry(const Image& img) {
  size_t table = img.rsrcRoot;
  for (int level = 0; level < 3; ++level) {
    table = img.rsrcRoot + (Get32(img.file, table + 16 + 4) & 0x7FFFFFFFu);
  }
  return table;
}

const RefusedCase kRefused[] = {
    {"TruncatedDosHeader", [](Image* i, PeResourceEdit*) { i->file.resize(50); }, "no MZ header"},
    {"TruncatedPeHeader", [](Image* i, PeResourceEdit*) { i->file.resize(kPeHeader + 10); },
     "no PE signature"},
    {"TruncatedOptionalHeader",
     [](Image* i, PeResourceEdit*) { i->file.resize(i->optional + 100); },
     "optional header outside the file"},
    {"SectionTablePastTheFile",
     [](Image* i, PeResourceEdit*) { Put16(&i->file, kPeHeader + 6, 90); },
     "section table outside the file"},
    {"SectionBytesPastTheFile",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, i->sectionTable + 40 + 20, 0x7FFFF000); },
     "outside the file"},
    {"SectionsOutOfOrder",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, i->sectionTable + 40 + 12, 0x800); },
     "out of order"},
    {"BadFileAlignment",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, i->optional + 36, 0x300); }, "alignment"},
    {"ResourceTableListsItself",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, RootEntry(*i) + 4, 0x80000000u); },
     "damaged resource directory"},
    {"ResourceTableOutsideTheSection",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, RootEntry(*i) + 4, 0x8000FFF0u); },
     "damaged resource directory"},
    {"ResourceDataOutsideTheFile",
     [](Image* i, PeResourceEdit*) { Put32(&i->file, FirstDataEntry(*i) + 4, 0x10000000u); },
     "outside the file"},
    {"ResourceDataAddressWraps",
     [](Image* i, PeResourceEdit*) {
       Put32(&i->file, FirstDataEntry(*i), 0xFFFFFFF0u);
       Put32(&i->file, FirstDataEntry(*i) + 4, 0x20);
     },
     "outside the file"},
    {"NoRoomForASectionHeader",
     [](Image* i, PeResourceEdit*) {
       Put32(&i->file, i->optional + 60, i->sectionTable + 3 * 40 + 8);
     },
     "no room for another section header"},
    {"SomethingWhereTheHeaderWouldGo",
     [](Image* i, PeResourceEdit*) { i->file[i->sectionTable + 3 * 40 + 39] = 1; },
     "no room for another section header"},
    {"NameSetTwice",
     [](Image*, PeResourceEdit* e) {
       e->set.push_back(Data(PeResourceId::Name("update"), PeResourceId::Number(102), 0x411, "b"));
     },
     "set twice"},
    {"NameNotUtf8",
     [](Image*, PeResourceEdit* e) {
       e->set.push_back(Data(PeResourceId::Name("\xC0\xAF"), PeResourceId::Number(1), 0, "b"));
     },
     "not UTF-8"},
    {"EmptyName",
     [](Image*, PeResourceEdit* e) {
       e->set.push_back(Data(PeResourceId::Number(3), PeResourceId::Name(""), 0, "b"));
     },
     "1 to 65535"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RefusedInput, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                           return std::string(info.param.what);
                         });

// Whatever the bytes, the writer either refuses or writes a file whose
// resources read back inside it.
TEST(PeResourceWriter, ChangedHeaderAndTreeBytesNeverReachOutside) {
  const Image img = BuildImage(true, Shape::kResourcesInTheMiddle, SampleResources());
  PeResourceEdit edit;
  edit.set.push_back(Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "a"));
  std::mt19937 random(99);
  const size_t treeEnd = img.rsrcRoot + 0x120;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> file = img.file;
    for (int change = 0; change < 3; ++change) {
      const size_t at = random() % 3 == 0 ? img.rsrcRoot + random() % 0x120 : random() % 0x300;
      file[std::min(at, treeEnd)] = uint8_t(random());
    }
    std::vector<uint8_t> out;
    std::string error;
    if (!WritePeResources(file.data(), file.size(), edit, &out, &error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    PeImage image;
    ASSERT_TRUE(ReadPeImage(out.data(), out.size(), &image, &error))
        << "round " << round << ": " << error;
    ASSERT_NE(nullptr,
              FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(102)))
        << "round " << round;
  }
}

TEST(PeCheckSum, MatchesTheWordSumOfOddAndEvenFiles) {
  const Image img = BuildImage(false, Shape::kResourcesLast, SampleResources());
  for (size_t cut : {size_t(0), size_t(1)}) {
    std::vector<uint8_t> f(img.file.begin(), img.file.end() - cut);
    for (size_t i = 0; i < f.size(); i += 7) f[i] = uint8_t(0xFF - i);  // many carries
    EXPECT_EQ(IndependentCheckSum(f, img.optional + 64),
              PeCheckSum(f.data(), f.size(), img.optional + 64))
        << "size " << f.size();
  }
}

// objdump reads the rewritten image as binutils sees it: the resource
// directory in the .rsrc section and the sections in place.
TEST(PeResourceWriter, ObjdumpReadsTheRewrittenImage) {
  const Image img = BuildImage(true, Shape::kResourcesInTheMiddle, SampleResources());
  PeResourceEdit edit;
  edit.set.push_back(
      Data(PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "archive"));
  const std::vector<uint8_t> out = Rewrite(img.file, edit);
  char path[] = "/tmp/pe_writer_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ssize_t(out.size()), write(fd, out.data(), out.size()));
  close(fd);
  const CommandOutput dump = RunCommand(std::string("x86_64-w64-mingw32-objdump -p ") + path);
  std::remove(path);
  const std::string& text = dump.text;
  ASSERT_EQ(0, dump.status) << "x86_64-w64-mingw32-objdump (binutils-mingw-w64) failed:\n" << text;
  char line[128];
  std::snprintf(line, sizeof line, "Entry 2 %016x %08x Resource Directory [.rsrc]",
                Get32(out, img.directories + 16), Get32(out, img.directories + 20));
  EXPECT_NE(std::string::npos, text.find(line)) << text;
  std::snprintf(line, sizeof line, "CheckSum\t\t%08x", Get32(out, img.optional + 64));
  EXPECT_NE(std::string::npos, text.find(line)) << text;
  EXPECT_NE(std::string::npos, text.find("Entry: ID: 0x000018")) << text;  // the manifest
  EXPECT_NE(std::string::npos, text.find("UPDATE")) << text;
  EXPECT_NE(std::string::npos, text.find("Leaf: Addr: ")) << text;
  EXPECT_EQ(std::string::npos, text.find("orrupt")) << text;
}

// The version resource of resources/version.rc with its default strings,
// as windres wrote it into the updater.
const char kWindresVersion[] =
    "200234000000560053005f00560045005200530049004f004e005f0049004e00"
    "46004f0000000000bd04effe0000010000000100000000000000010000000200"
    "3f00000000000000040004000100000000000000000000000000000080010000"
    "010053007400720069006e006700460069006c00650049006e0066006f000000"
    "5c01000001003000340031003100300033006100340000002200010001004300"
    "6f006d00700061006e0079004e0061006d00650000000000000000004e001300"
    "0100460069006c0065004400650073006300720069007000740069006f006e00"
    "00000000470061006d0065002000700061007400630068002000700072006f00"
    "6700720061006d0000000000300008000100460069006c006500560065007200"
    "730069006f006e000000000031002e0030002e0030002e00300000003e000b00"
    "01004f0072006900670069006e0061006c00460069006c0065006e0061006d00"
    "650000005500500044004100540045002e00450058004500000000002a000500"
    "0100500072006f0064007500630074004e0061006d0065000000000047006100"
    "6d00650000000000340008000100500072006f00640075006300740056006500"
    "7200730069006f006e00000031002e0030002e0032002e003000000044000000"
    "0100560061007200460069006c00650049006e0066006f000000000024000400"
    "00005400720061006e0073006c006100740069006f006e00000000001104a403";

std::vector<uint8_t> FromHex(const char* hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    out.push_back(uint8_t(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  }
  return out;
}

PeVersionInfo DefaultVersion() {
  PeVersionInfo info;
  const uint16_t file[4] = {1, 0, 0, 0}, product[4] = {1, 0, 2, 0};
  std::copy(file, file + 4, info.fileVersion);
  std::copy(product, product + 4, info.productVersion);
  for (const auto& kv :
       std::vector<std::pair<const char*, const char*>>{{"CompanyName", ""},
                                                        {"FileDescription", "Game patch program"},
                                                        {"FileVersion", "1.0.0.0"},
                                                        {"OriginalFilename", "UPDATE.EXE"},
                                                        {"ProductName", "Game"},
                                                        {"ProductVersion", "1.0.2.0"}}) {
    info.strings.push_back({"041103a4", kv.first, kv.second});
  }
  return info;
}

TEST(PeVersionWriter, WritesWhatWindresWrites) {
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(BuildPeVersionInfo(DefaultVersion(), PeVersionFlags(), &out, &error)) << error;
  EXPECT_EQ(FromHex(kWindresVersion), out);
}

TEST(PeVersionWriter, ReadsBackWhatWasWritten) {
  PeVersionInfo info;
  const uint16_t file[4] = {2, 65535, 0, 7}, product[4] = {3, 1, 4, 1};
  std::copy(file, file + 4, info.fileVersion);
  std::copy(product, product + 4, info.productVersion);
  info.strings = {{"041103a4", "ProductName", "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"},  // ゲーム
                  {"041103a4", "Comments", "odd"},
                  {"041103a4", "Empty", ""},
                  {"040904b0", "ProductName", "Game \xF0\x9F\x8E\xAE"}};  // beyond the BMP
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(BuildPeVersionInfo(info, PeVersionFlags(), &out, &error)) << error;
  PeVersionInfo back;
  ASSERT_TRUE(ReadPeVersionInfo(out.data(), out.size(), &back, &error)) << error;
  EXPECT_TRUE(std::equal(info.fileVersion, info.fileVersion + 4, back.fileVersion));
  EXPECT_TRUE(std::equal(info.productVersion, info.productVersion + 4, back.productVersion));
  ASSERT_EQ(info.strings.size(), back.strings.size());
  for (size_t i = 0; i < info.strings.size(); ++i) {
    EXPECT_EQ(info.strings[i].table, back.strings[i].table) << i;
    EXPECT_EQ(info.strings[i].key, back.strings[i].key) << i;
    EXPECT_EQ(info.strings[i].value, back.strings[i].value) << i;
  }
  // Translation lists both tables' language and code page, last in the block.
  const std::vector<uint8_t> translation = {0x11, 0x04, 0xA4, 0x03, 0x09, 0x04, 0xB0, 0x04};
  EXPECT_TRUE(std::equal(translation.begin(), translation.end(), out.end() - 8));

  // As the version resource of an executable, found and read there.
  const Image img = BuildImage(false, Shape::kResourcesInTheMiddle, SampleResources());
  PeResourceEdit edit;
  PeResourceData version;
  version.type = PeResourceId::Number(kPeResourceVersion);
  version.name = PeResourceId::Number(1);
  version.language = 0x411;
  version.data = out;
  edit.set.push_back(version);
  const std::vector<uint8_t> exe = Rewrite(img.file, edit);
  PeImage image;
  ASSERT_TRUE(ReadPeImage(exe.data(), exe.size(), &image, &error)) << error;
  const PeResource* found = FindPeResource(image, PeResourceId::Number(kPeResourceVersion),
                                           PeResourceId::Number(1), 0x411);
  ASSERT_NE(nullptr, found);
  ASSERT_TRUE(ReadPeVersionInfo(exe.data() + found->offset, found->size, &back, &error)) << error;
  EXPECT_EQ("odd", *FindVersionString(back, "Comments"));
}

TEST(PeVersionWriter, RefusesWhatItCannotWrite) {
  const struct {
    const char* what;
    PeVersionString string;
    const char* error;
  } cases[] = {
      {"table key not hex", {"0411g3a4", "A", "b"}, "eight hex digits"},
      {"table key too short", {"0411", "A", "b"}, "eight hex digits"},
      {"value not UTF-8", {"041103a4", "A", "\xFF"}, "not UTF-8"},
      {"key with a NUL", {"041103a4", std::string("A\0B", 3), "b"}, "NUL"},
      {"empty key", {"041103a4", "", "b"}, "without a key"},
      {"value past 16-bit lengths", {"041103a4", "A", std::string(40000, 'x')}, "65535"},
  };
  for (const auto& c : cases) {
    PeVersionInfo info;
    info.strings.push_back(c.string);
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(BuildPeVersionInfo(info, PeVersionFlags(), &out, &error)) << c.what;
    EXPECT_NE(std::string::npos, error.find(c.error)) << c.what << ": " << error;
  }
}

}  // namespace
