// The executable resource reader: a small PE made here (both PE32 and
// PE32+), damaged in each place the reader must check, and the updater
// executables of the Windows builds when they are present.
#include "authoring/pe_resources.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "authoring/little_endian.h"
#include "authoring/pe_version_info.h"

namespace {

struct Item {
  PeResourceId type;
  PeResourceId name;
  uint16_t language;
  std::string data;
};

constexpr uint32_t kSectionRva = 0x1000;
constexpr size_t kSectionFileOffset = 0x200;

// Where the test PE keeps the parts that the damage cases change.
struct Layout {
  size_t peHeader = 0;
  size_t optionalHeader = 0;
  size_t resourceDirectory = 0;  // the data directory entry
  size_t section = 0;            // the section header
  size_t root = kSectionFileOffset;
  size_t firstTypeTable = 0;  // file offsets inside the tree
  size_t firstDataEntry = 0;
  size_t firstNameString = 0;
  size_t firstLanguageEntry = 0;  // the entry in the language table
};

// The resource tree of `items`, as it lies at `kSectionRva`: tables in
// depth-first order, then the name strings, then the data.
std::vector<uint8_t> BuildTree(const std::vector<Item>& items, Layout* layout) {
  std::map<std::string, std::map<std::string, std::vector<const Item*>>> tree;
  std::map<std::string, PeResourceId> ids;
  auto key = [&](const PeResourceId& id) {
    // Named entries come before numbered ones, as the format orders them.
    std::string k = id.isName ? "0" + id.name : "1" + std::to_string(100000 + id.number);
    ids[k] = id;
    return k;
  };
  for (const Item& item : items) tree[key(item.type)][key(item.name)].push_back(&item);

  std::vector<uint8_t> t;
  std::vector<std::pair<size_t, PeResourceId>> nameFixups;
  std::vector<std::pair<size_t, const Item*>> dataFixups;
  auto table = [&](size_t named, size_t numbered) {
    size_t at = t.size();
    t.resize(at + 16 + (named + numbered) * 8, 0);
    Put16(&t, at + 12, uint32_t(named));
    Put16(&t, at + 14, uint32_t(numbered));
    return at;
  };
  auto entryId = [&](size_t entry, const PeResourceId& id) {
    if (id.isName) {
      nameFixups.push_back({entry, id});
    } else {
      Put32(&t, entry, id.number);
    }
  };
  auto counts = [&](const auto& children) {
    size_t named = 0;
    for (const auto& c : children) named += ids[c.first].isName;
    return std::make_pair(named, children.size() - named);
  };

  auto rootCounts = counts(tree);
  size_t root = table(rootCounts.first, rootCounts.second);
  size_t i = 0;
  for (const auto& type : tree) {
    const size_t typeEntry = root + 16 + 8 * i++;
    entryId(typeEntry, ids[type.first]);
    auto nameCounts = counts(type.second);
    size_t typeTable = table(nameCounts.first, nameCounts.second);
    if (layout->firstTypeTable == 0) layout->firstTypeTable = kSectionFileOffset + typeTable;
    Put32(&t, typeEntry + 4, uint32_t(typeTable) | 0x80000000u);
    size_t j = 0;
    for (const auto& name : type.second) {
      const size_t nameEntry = typeTable + 16 + 8 * j++;
      entryId(nameEntry, ids[name.first]);
      size_t languageTable = table(0, name.second.size());
      Put32(&t, nameEntry + 4, uint32_t(languageTable) | 0x80000000u);
      size_t k = 0;
      for (const Item* item : name.second) {
        const size_t languageEntry = languageTable + 16 + 8 * k++;
        if (layout->firstLanguageEntry == 0) {
          layout->firstLanguageEntry = kSectionFileOffset + languageEntry;
        }
        Put32(&t, languageEntry, item->language);
        size_t dataEntry = t.size();
        t.resize(dataEntry + 16, 0);
        if (layout->firstDataEntry == 0) layout->firstDataEntry = kSectionFileOffset + dataEntry;
        Put32(&t, languageEntry + 4, uint32_t(dataEntry));
        dataFixups.push_back({dataEntry, item});
      }
    }
  }
  for (const auto& fix : nameFixups) {
    size_t at = t.size();
    if (layout->firstNameString == 0) layout->firstNameString = kSectionFileOffset + at;
    Put32(&t, fix.first, uint32_t(at) | 0x80000000u);
    t.resize(at + 2 + fix.second.name.size() * 2, 0);
    Put16(&t, at, uint32_t(fix.second.name.size()));
    for (size_t c = 0; c < fix.second.name.size(); ++c) {
      Put16(&t, at + 2 + c * 2, uint8_t(fix.second.name[c]));  // ASCII names only
    }
  }
  for (const auto& fix : dataFixups) {
    size_t at = (t.size() + 7) & ~size_t(7);
    t.resize(at + fix.second->data.size(), 0);
    std::memcpy(t.data() + at, fix.second->data.data(), fix.second->data.size());
    Put32(&t, fix.first, kSectionRva + uint32_t(at));
    Put32(&t, fix.first + 4, uint32_t(fix.second->data.size()));
    Put32(&t, fix.first + 8, 932);
  }
  return t;
}

// A minimal executable image with one section holding the resource tree.
std::vector<uint8_t> BuildPe(const std::vector<Item>& items, bool pe32Plus, Layout* layout) {
  *layout = Layout();
  const std::vector<uint8_t> tree = BuildTree(items, layout);
  const size_t optionalSize = pe32Plus ? 240 : 224;
  std::vector<uint8_t> pe(kSectionFileOffset + ((tree.size() + 0x1FF) & ~size_t(0x1FF)), 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  layout->peHeader = 0x40;
  Put32(&pe, 0x3C, uint32_t(layout->peHeader));
  Put32(&pe, layout->peHeader, 0x00004550);
  Put16(&pe, layout->peHeader + 4, pe32Plus ? kPeMachineAmd64 : kPeMachineI386);
  Put16(&pe, layout->peHeader + 6, 1);
  Put16(&pe, layout->peHeader + 20, uint32_t(optionalSize));
  layout->optionalHeader = layout->peHeader + 24;
  Put16(&pe, layout->optionalHeader, pe32Plus ? 0x20B : 0x10B);
  const size_t directories = layout->optionalHeader + (pe32Plus ? 112 : 96);
  Put32(&pe, directories - 4, 16);
  layout->resourceDirectory = directories + 2 * 8;
  Put32(&pe, layout->resourceDirectory, kSectionRva);
  Put32(&pe, layout->resourceDirectory + 4, uint32_t(tree.size()));
  layout->section = layout->optionalHeader + optionalSize;
  std::memcpy(pe.data() + layout->section, ".rsrc", 5);
  Put32(&pe, layout->section + 8, uint32_t(tree.size()));
  Put32(&pe, layout->section + 12, kSectionRva);
  Put32(&pe, layout->section + 16, uint32_t(pe.size() - kSectionFileOffset));
  Put32(&pe, layout->section + 20, uint32_t(kSectionFileOffset));
  std::memcpy(pe.data() + kSectionFileOffset, tree.data(), tree.size());
  return pe;
}

std::vector<Item> SampleItems() {
  return {
      {PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x411, "archive bytes"},
      {PeResourceId::Number(kPeResourceManifest), PeResourceId::Number(1), 0x411, "<assembly/>"},
      {PeResourceId::Number(5), PeResourceId::Number(100), 0x411, "dialog 100"},
      {PeResourceId::Number(5), PeResourceId::Name("WIZARD"), 0x409, "named dialog"},
      {PeResourceId::Number(5), PeResourceId::Name("WIZARD"), 0x411, "named dialog ja"},
  };
}

std::string DataOf(const std::vector<uint8_t>& file, const PeResource& r) {
  return std::string(reinterpret_cast<const char*>(file.data()) + r.offset, r.size);
}

class SyntheticPe : public ::testing::TestWithParam<bool> {};

TEST_P(SyntheticPe, ListsEveryResourceWithItsData) {
  Layout layout;
  const std::vector<uint8_t> file = BuildPe(SampleItems(), GetParam(), &layout);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(file.data(), file.size(), &image, &error)) << error;
  EXPECT_EQ(GetParam(), image.pe32Plus);
  EXPECT_EQ(GetParam() ? kPeMachineAmd64 : kPeMachineI386, image.machine);
  ASSERT_EQ(SampleItems().size(), image.resources.size());
  for (const Item& item : SampleItems()) {
    const PeResource* r = FindPeResource(image, item.type, item.name, item.language);
    ASSERT_NE(nullptr, r) << item.type.ToString() << "/" << item.name.ToString();
    EXPECT_EQ(item.data, DataOf(file, *r));
    EXPECT_EQ(932u, r->codePage);
  }
}

TEST_P(SyntheticPe, FindsByNameWithoutCaseButNeverANumberForAName) {
  Layout layout;
  const std::vector<uint8_t> file = BuildPe(SampleItems(), GetParam(), &layout);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(file.data(), file.size(), &image, &error)) << error;

  const PeResource* update =
      FindPeResource(image, PeResourceId::Name("update"), PeResourceId::Number(102));
  ASSERT_NE(nullptr, update);
  EXPECT_EQ("archive bytes", DataOf(file, *update));
  // Any language when none is asked for: the first in the directory.
  const PeResource* wizard =
      FindPeResource(image, PeResourceId::Number(5), PeResourceId::Name("Wizard"));
  ASSERT_NE(nullptr, wizard);
  EXPECT_EQ(0x409, wizard->language);

  EXPECT_EQ(nullptr, FindPeResource(image, PeResourceId::Number(102), PeResourceId::Number(102)));
  EXPECT_EQ(nullptr,
            FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(103)));
  EXPECT_EQ(nullptr,
            FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(102), 0x409));
  EXPECT_EQ(nullptr,
            FindPeResource(image, PeResourceId::Name("UPDATES"), PeResourceId::Number(102)));
}

TEST_P(SyntheticPe, ImageWithoutResourceDirectoryHasNoResources) {
  Layout layout;
  std::vector<uint8_t> file = BuildPe(SampleItems(), GetParam(), &layout);
  Put32(&file, layout.resourceDirectory, 0);
  Put32(&file, layout.resourceDirectory + 4, 0);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(file.data(), file.size(), &image, &error)) << error;
  EXPECT_TRUE(image.resources.empty());
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, SyntheticPe, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Pe32Plus") : std::string("Pe32");
                         });

struct DamageCase {
  const char* what;
  std::function<void(std::vector<uint8_t>*, const Layout&)> damage;
  const char* error;  // a part of the expected message
};

class DamagedPe : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedPe, IsRefusedWithAReason) {
  Layout layout;
  std::vector<uint8_t> file = BuildPe(SampleItems(), true, &layout);
  GetParam().damage(&file, layout);
  PeImage image;
  std::string error;
  EXPECT_FALSE(ReadPeImage(file.data(), file.size(), &image, &error));
  EXPECT_NE(std::string::npos, error.find(GetParam().error)) << error;
  EXPECT_TRUE(image.resources.empty());
}

const DamageCase kDamageCases[] = {
    {"shorter than a DOS header", [](std::vector<uint8_t>* f, const Layout&) { f->resize(40); },
     "no MZ header"},
    {"PE header beyond the end",
     [](std::vector<uint8_t>* f, const Layout&) { Put32(f, 0x3C, 0xFFFFFFF0u); },
     "no PE signature"},
    {"too many sections",
     [](std::vector<uint8_t>* f, const Layout& l) { Put16(f, l.peHeader + 6, 0xFFFF); },
     "65535 sections"},
    {"optional header beyond the end",
     [](std::vector<uint8_t>* f, const Layout& l) { Put16(f, l.peHeader + 20, 0xFFF0); },
     "optional header outside the file"},
    {"section table beyond the end",
     [](std::vector<uint8_t>* f, const Layout& l) { Put16(f, l.peHeader + 6, 90); },
     "section table outside the file"},
    {"unknown optional header",
     [](std::vector<uint8_t>* f, const Layout& l) { Put16(f, l.optionalHeader, 0x107); },
     "unknown optional header"},
    {"resource directory in no section",
     [](std::vector<uint8_t>* f, const Layout& l) { Put32(f, l.resourceDirectory, 0x9000); },
     "outside the file"},
    {"section's file bytes beyond the end",
     [](std::vector<uint8_t>* f, const Layout& l) { Put32(f, l.section + 20, 0x7FFFFFF0u); },
     "outside the file"},
    {"root table claims more entries than the section holds",
     [](std::vector<uint8_t>* f, const Layout& l) {
       Put16(f, l.root + 12, 0xFFFF);
       Put16(f, l.root + 14, 0xFFFF);
     },
     "table entries outside the section"},
    {"subdirectory beyond the section",
     [](std::vector<uint8_t>* f, const Layout& l) { Put32(f, l.root + 20, 0x80FFFFF0u); },
     "table outside the section"},
    {"type entry pointing at data",
     [](std::vector<uint8_t>* f, const Layout& l) {
       Put32(f, l.root + 20, Get32(*f, l.root + 20) & 0x7FFFFFFFu);
     },
     "data where a table belongs"},
    {"language entry pointing at a table",
     [](std::vector<uint8_t>* f, const Layout& l) {
       Put32(f, l.firstLanguageEntry + 4, 0x80000000u);
     },
     "below the language level"},
    {"a table that lists itself",
     [](std::vector<uint8_t>* f, const Layout& l) { Put32(f, l.root + 20, 0x80000000u); },
     "below the language level"},
    {"data beyond the end of the file",
     [](std::vector<uint8_t>* f, const Layout& l) { Put32(f, l.firstDataEntry + 4, 0x10000000u); },
     "outside the file"},
    {"data address wrapping around",
     [](std::vector<uint8_t>* f, const Layout& l) {
       Put32(f, l.firstDataEntry, 0xFFFFFFF0u);
       Put32(f, l.firstDataEntry + 4, 0x20);
     },
     "outside the file"},
    {"name longer than the section",
     [](std::vector<uint8_t>* f, const Layout& l) { Put16(f, l.firstNameString, 0xFFFF); },
     "name outside the section"},
    {"file cut inside the resource tree",
     [](std::vector<uint8_t>* f, const Layout& l) { f->resize(l.firstTypeTable + 4); },
     "outside the section"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedPe, ::testing::ValuesIn(kDamageCases),
                         [](const ::testing::TestParamInfo<DamageCase>& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p) {
                             name += std::isalnum(uint8_t(*p)) ? *p : '_';
                           }
                           return name;
                         });

// Names are kept up to what the tool needs: a longer one is cut, shown as
// cut and found by no name.
TEST(PeResourceNames, LongNamesAreCutAndMatchNothing) {
  const std::string kept(kMaxKeptNameUnits, 'K'), longer(kMaxKeptNameUnits + 1, 'L');
  Layout layout;
  const std::vector<uint8_t> file =
      BuildPe({{PeResourceId::Number(5), PeResourceId::Name(kept), 0x411, "kept"},
               {PeResourceId::Number(5), PeResourceId::Name(longer), 0x411, "cut"}},
              false, &layout);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(file.data(), file.size(), &image, &error)) << error;
  ASSERT_NE(nullptr, FindPeResource(image, PeResourceId::Number(5), PeResourceId::Name(kept)));
  EXPECT_EQ(nullptr, FindPeResource(image, PeResourceId::Number(5), PeResourceId::Name(longer)));
  EXPECT_EQ(nullptr, FindPeResource(image, PeResourceId::Number(5),
                                    PeResourceId::Name(longer.substr(0, kMaxKeptNameUnits))));
  for (const PeResource& r : image.resources) {
    EXPECT_LE(r.name.name.size(), kMaxKeptNameUnits);
    if (r.name.cut) EXPECT_EQ(longer.substr(0, kMaxKeptNameUnits) + "...", r.name.ToString());
  }
}

// A tree whose type entries all share one table of long names makes every
// name count many times over: refused once the names would outgrow the
// file, instead of taking memory by the claim.
TEST(PeResourceNames, SharedTablesCannotMultiplyNamesPastTheFile) {
  std::vector<Item> items;
  for (uint16_t t = 1; t <= 64; ++t)
    items.push_back({PeResourceId::Number(t), PeResourceId::Name("X"), 0x411, "d"});
  for (int k = 0; k < 64; ++k) {
    items.push_back({PeResourceId::Number(1),
                     PeResourceId::Name(std::string(250, 'N') + std::to_string(100000 + k)), 0x411,
                     "d"});
  }
  Layout layout;
  std::vector<uint8_t> file = BuildPe(items, false, &layout);
  const uint32_t shared = Get32(file, layout.root + 16 + 4);
  for (size_t e = 0; e < 64; ++e) Put32(&file, layout.root + 16 + e * 8 + 4, shared);
  PeImage image;
  std::string error;
  EXPECT_FALSE(ReadPeImage(file.data(), file.size(), &image, &error));
  EXPECT_NE(std::string::npos, error.find("resource names longer than the file itself")) << error;
}

// Whatever a file holds, every resource reported lies inside it.
void ExpectInsideFile(const std::vector<uint8_t>& file, const std::string& what) {
  PeImage image;
  std::string error;
  if (!ReadPeImage(file.data(), file.size(), &image, &error)) {
    EXPECT_FALSE(error.empty()) << what;
    return;
  }
  for (const PeResource& r : image.resources) {
    ASSERT_LE(r.offset, file.size()) << what;
    ASSERT_LE(r.size, file.size() - r.offset) << what;
  }
}

TEST(DamagedPeBounds, EveryCutStaysInsideTheFile) {
  Layout layout;
  const std::vector<uint8_t> file = BuildPe(SampleItems(), false, &layout);
  for (size_t length = 0; length <= file.size(); ++length) {
    ExpectInsideFile(std::vector<uint8_t>(file.begin(), file.begin() + length),
                     "cut at " + std::to_string(length));
  }
}

TEST(DamagedPeBounds, ChangedBytesInTheHeadersAndTreeStayInsideTheFile) {
  Layout layout;
  const std::vector<uint8_t> good = BuildPe(SampleItems(), true, &layout);
  std::mt19937 random(1234);
  const size_t treeEnd = layout.root + 0x100;
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> file = good;
    for (int change = 0; change < 4; ++change) {
      size_t at = random() % treeEnd;
      file[at] = uint8_t(random());
    }
    ExpectInsideFile(file, "round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

// The updater executables of the Windows builds, when they have been built:
// build/win32 and build/win64 beside the sources, or the folders named by
// UPDATER_WIN32_BUILD and UPDATER_WIN64_BUILD.
struct BuiltExecutable {
  const char* preset;
  const char* variable;
  uint16_t machine;
  const char* architecture;  // in the manifest
};

std::string BuildFolder(const BuiltExecutable& b) {
  if (const char* folder = std::getenv(b.variable)) return folder;
  std::string source = __FILE__;  // <source>/tests/unit/pe_resources_test.cpp
  for (int up = 0; up < 3; ++up) source = source.substr(0, source.find_last_of('/'));
  return source + "/build/" + b.preset;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

class BuiltUpdater : public ::testing::TestWithParam<BuiltExecutable> {
 protected:
  void SetUp() override {
    const std::string path = BuildFolder(GetParam()) + "/updater.exe";
    if (!ReadWhole(path, &file_)) GTEST_SKIP() << path << " is not built";
    std::string error;
    ASSERT_TRUE(ReadPeImage(file_.data(), file_.size(), &image_, &error)) << error;
  }
  std::string Data(const PeResource& r) const { return DataOf(file_, r); }

  std::vector<uint8_t> file_;
  PeImage image_;
};

TEST_P(BuiltUpdater, ManifestAsksForElevationOnTheImagesArchitecture) {
  EXPECT_EQ(GetParam().machine, image_.machine);
  const PeResource* manifest =
      FindPeResource(image_, PeResourceId::Number(kPeResourceManifest), PeResourceId::Number(1));
  ASSERT_NE(nullptr, manifest);
  const std::string text = Data(*manifest);
  const std::string identity = std::string("<assemblyIdentity version=\"1.0.0.0\" ") +
                               "processorArchitecture=\"" + GetParam().architecture +
                               "\" name=\"BRUMPAL.Updater.UPDATE\" type=\"win32\"/>";
  EXPECT_NE(std::string::npos, text.find(identity)) << text;
  EXPECT_NE(
      std::string::npos,
      text.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"))
      << text;
  for (const char* os :
       {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
        "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
        "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(std::string::npos, text.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"))
        << os;
  }
}

TEST_P(BuiltUpdater, VersionResourceNamesThePatchProgram) {
  const PeResource* version =
      FindPeResource(image_, PeResourceId::Number(kPeResourceVersion), PeResourceId::Number(1));
  ASSERT_NE(nullptr, version);
  EXPECT_EQ(0x411, version->language);
  PeVersionInfo info;
  std::string error;
  ASSERT_TRUE(ReadPeVersionInfo(file_.data() + version->offset, version->size, &info, &error))
      << error;
  EXPECT_EQ((std::vector<uint16_t>{1, 0, 0, 0}),
            std::vector<uint16_t>(info.fileVersion, info.fileVersion + 4));
  EXPECT_EQ((std::vector<uint16_t>{1, 0, 2, 0}),
            std::vector<uint16_t>(info.productVersion, info.productVersion + 4));
  const std::map<std::string, std::string> expected = {{"FileDescription", "Game patch program"},
                                                       {"FileVersion", "1.0.0.0"},
                                                       {"ProductVersion", "1.0.2.0"},
                                                       {"OriginalFilename", "UPDATE.EXE"}};
  for (const auto& e : expected) {
    const std::string* value = FindVersionString(info, e.first);
    ASSERT_NE(nullptr, value) << e.first;
    EXPECT_EQ(e.second, *value) << e.first;
  }
  ASSERT_FALSE(info.strings.empty());
  EXPECT_EQ("041103a4", info.strings.front().table);
}

TEST_P(BuiltUpdater, CarriesNoArchiveOfItsOwn) {
  EXPECT_EQ(nullptr,
            FindPeResource(image_, PeResourceId::Name("UPDATE"), PeResourceId::Number(102)));
}

INSTANTIATE_TEST_SUITE_P(
    Presets, BuiltUpdater,
    ::testing::Values(BuiltExecutable{"win32", "UPDATER_WIN32_BUILD", kPeMachineI386, "X86"},
                      BuiltExecutable{"win64", "UPDATER_WIN64_BUILD", kPeMachineAmd64, "amd64"}),
    [](const ::testing::TestParamInfo<BuiltExecutable>& info) {
      return std::string(info.param.preset);
    });

}  // namespace
