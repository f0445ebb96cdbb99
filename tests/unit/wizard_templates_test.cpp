// The wizard's dialog templates as compiled: resources/dialogs.rc through the
// resource compiler with the build's flags (the .res form), and the RT_DIALOG
// resources of the built updaters of build/win64 and build/win32 (or the
// folders named by UPDATER_WIN64_BUILD / UPDATER_WIN32_BUILD), each skipped
// when it is missing. Every field is compared with the layout the wizard is
// designed for.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "authoring/pe_resources.h"
#include "tests/support/test_platform.h"

namespace {

// ---- Reading .res files ----

class Reader {
 public:
  explicit Reader(const std::string& bytes, size_t at = 0) : bytes_(bytes), at_(at) {}
  bool ok() const { return ok_; }
  size_t at() const { return at_; }
  void Align(size_t to) { at_ = (at_ + to - 1) / to * to; }
  void Seek(size_t at) { at_ = at; }
  // Little-endian; the reads are sequenced one after the other.
  uint16_t Word() {
    const uint16_t low = Byte();
    return uint16_t(low | Byte() << 8);
  }
  uint32_t Dword() {
    const uint32_t low = Word();
    return low | uint32_t(Word()) << 16;
  }
  int16_t Short() { return int16_t(Word()); }
  uint8_t Byte() {
    if (at_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return uint8_t(bytes_[at_++]);
  }
  // A UTF-16 text up to its terminator, as UTF-8 (the BMP is enough here).
  std::string Text() {
    std::string out;
    for (uint16_t c = Word(); ok_ && c != 0; c = Word()) {
      if (c < 0x80) {
        out += char(c);
      } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
      } else {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
      }
    }
    return out;
  }
  // A name or ordinal: "#<n>" for an ordinal, "" for none.
  std::string NameOrOrdinal() {
    uint16_t first = Word();
    if (first == 0) return "";
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    at_ -= 2;
    return Text();
  }

 private:
  const std::string& bytes_;
  size_t at_;
  bool ok_ = true;
};

struct Control {
  uint32_t id;
  std::string className;  // "#128" button, "#129" edit, "#130" static
  std::string text;
  uint32_t style, exStyle;
  int16_t x, y, cx, cy;
};

struct Dialog {
  uint16_t language;
  uint32_t style, exStyle;
  int16_t x, y, cx, cy;
  std::string menu, windowClass, caption;
  uint16_t pointSize, weight;
  uint8_t italic, charset;
  std::string font;
  std::vector<Control> controls;
};

Dialog ReadDialog(const std::string& bytes, size_t at, size_t end, uint16_t language) {
  Reader r(bytes, at);
  Dialog d{};
  d.language = language;
  EXPECT_EQ(1, r.Word()) << "an extended template";
  EXPECT_EQ(0xFFFF, r.Word());
  r.Dword();  // help id
  d.exStyle = r.Dword();
  d.style = r.Dword();
  const uint16_t count = r.Word();
  d.x = r.Short();
  d.y = r.Short();
  d.cx = r.Short();
  d.cy = r.Short();
  d.menu = r.NameOrOrdinal();
  d.windowClass = r.NameOrOrdinal();
  d.caption = r.Text();
  d.pointSize = r.Word();
  d.weight = r.Word();
  d.italic = r.Byte();
  d.charset = r.Byte();
  d.font = r.Text();
  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    r.Align(4);
    Control c{};
    r.Dword();  // help id
    c.exStyle = r.Dword();
    c.style = r.Dword();
    c.x = r.Short();
    c.y = r.Short();
    c.cx = r.Short();
    c.cy = r.Short();
    c.id = r.Dword();
    c.className = r.NameOrOrdinal();
    c.text = r.NameOrOrdinal();
    const uint16_t extra = r.Word();
    for (uint16_t k = 0; k < extra; ++k) r.Byte();
    d.controls.push_back(c);
  }
  EXPECT_TRUE(r.ok() && r.at() <= end) << "the template lies inside its resource";
  return d;
}

// The RT_DIALOG resources of a .res file, by numeric name.
std::vector<std::pair<int, Dialog>> ReadDialogs(const std::string& bytes) {
  std::vector<std::pair<int, Dialog>> dialogs;
  Reader r(bytes);
  while (r.ok() && r.at() + 32 <= bytes.size()) {
    const size_t start = r.at();
    const uint32_t dataSize = r.Dword();
    const uint32_t headerSize = r.Dword();
    const std::string type = r.NameOrOrdinal();
    const std::string name = r.NameOrOrdinal();
    r.Align(4);
    r.Dword();  // data version
    r.Word();   // memory flags
    const uint16_t language = r.Word();
    const size_t data = start + headerSize;
    if (type == "#5" && name.size() > 1 && name[0] == '#') {
      dialogs.push_back(
          {std::stoi(name.substr(1)), ReadDialog(bytes, data, data + dataSize, language)});
    }
    r.Seek(data + dataSize);
    r.Align(4);
  }
  return dialogs;
}

// ---- Where the templates come from ----

std::string SourceRoot() {
  std::string file = __FILE__;
  return file.substr(0, file.rfind("/tests/unit/"));
}

std::string FindWindres() {
  for (const char* tool : {"x86_64-w64-mingw32-windres", "i686-w64-mingw32-windres"}) {
    if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0) {
      return tool;
    }
  }
  return "";
}

// The RT_DIALOG resources of a built updater.
std::vector<std::pair<int, Dialog>> ReadExecutableDialogs(const std::string& file) {
  std::vector<std::pair<int, Dialog>> dialogs;
  PeImage image;
  std::string error;
  EXPECT_TRUE(
      ReadPeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &image, &error))
      << error;
  for (const PeResource& r : image.resources) {
    if (r.type.isName || r.type.number != 5 || r.name.isName) continue;
    dialogs.push_back({r.name.number, ReadDialog(file, r.offset, r.offset + r.size, r.language)});
  }
  return dialogs;
}

struct Source {
  const char* name;
  const char* buildVariable;  // for a built updater: the variable naming its folder
};

class WizardTemplates : public UpdaterTest, public ::testing::WithParamInterface<Source> {
 protected:
  // The templates of the source; false (after a skip) when it is not there.
  bool Read(std::vector<std::pair<int, Dialog>>* dialogs) {
    const Source& source = GetParam();
    if (source.buildVariable == nullptr) {
      const std::string windres = FindWindres();
      if (windres.empty()) return false;
      const std::string root = SourceRoot();
      const std::string res = DriveC() + "/out.res";
      const std::string command = windres + " -c 65001 -I '" + root + "/resources' -O res -o '" +
                                  res + "' '" + root + "/resources/dialogs.rc'";
      EXPECT_EQ(0, std::system(command.c_str())) << command;
      *dialogs = ReadDialogs(ReadHostFile(res));
      return true;
    }
    const char* folder = std::getenv(source.buildVariable);
    const std::string path =
        (folder != nullptr ? std::string(folder) : SourceRoot() + "/build/" + source.name) +
        "/updater.exe";
    if (!HostFileExists(path)) return false;
    *dialogs = ReadExecutableDialogs(ReadHostFile(path));
    return true;
  }
};

constexpr uint32_t kChildVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
constexpr uint32_t kTabStop = 0x00010000;
constexpr uint32_t kGroup = 0x00020000;
constexpr uint32_t kDefPushButton = 0x1;
constexpr uint32_t kRadioButton = 0x4;
constexpr uint32_t kMultiLine = 0x4;
constexpr uint32_t kBorder = 0x00800000;
constexpr uint32_t kVScroll = 0x00200000;
const char kButton[] = "#128";
const char kEdit[] = "#129";
const char kStatic[] = "#130";

const std::vector<Control> kTemplate100 = {
    {1, kButton, "次へ", kChildVisible | kDefPushButton | kTabStop, 0, 261, 72, 44, 14},
    {2, kButton, "中止", kChildVisible | kTabStop, 0, 313, 72, 44, 14},
    {4, kButton, "戻る", kChildVisible | kTabStop, 0, 217, 72, 44, 14},
    {1001, kStatic, "Info", kChildVisible | kGroup, 0, 16, 16, 331, 29},
};

const std::vector<Control> kTemplate101 = {
    {1, kButton, "次へ", kChildVisible | kDefPushButton | kTabStop, 0, 258, 202, 44, 14},
    {2, kButton, "中止", kChildVisible | kTabStop, 0, 311, 202, 44, 14},
    {4, kButton, "戻る", kChildVisible | kTabStop, 0, 214, 202, 44, 14},
    {1001, kStatic, "Info", kChildVisible | kGroup, 0, 16, 9, 331, 65},
    {1000, kEdit, "", kChildVisible | kMultiLine | kBorder | kVScroll, 0, 6, 81, 351, 92},
    {1002, kButton, "同意する", kChildVisible | kRadioButton, 0, 10, 177, 225, 10},
    {1003, kButton, "同意しない", kChildVisible | kRadioButton, 0, 10, 189, 225, 10},
};

TEST_P(WizardTemplates, MatchTheWizardsLayout) {
  std::vector<std::pair<int, Dialog>> dialogs;
  if (!Read(&dialogs)) GTEST_SKIP() << GetParam().name << " is not there (or no windres)";
  ASSERT_EQ(2u, dialogs.size());
  for (const auto& entry : dialogs) {
    SCOPED_TRACE("template " + std::to_string(entry.first));
    const Dialog& d = entry.second;
    ASSERT_TRUE(entry.first == 100 || entry.first == 101);
    EXPECT_EQ(0x0411, d.language);
    EXPECT_EQ(0x90C808C0u, d.style);
    EXPECT_EQ(0u, d.exStyle);
    EXPECT_EQ(364, d.cx);
    EXPECT_EQ(entry.first == 100 ? 93 : 222, d.cy);
    EXPECT_EQ("", d.menu);
    EXPECT_EQ("", d.windowClass);
    EXPECT_EQ("UPDATE", d.caption);
    EXPECT_EQ(10, d.pointSize);
    EXPECT_EQ(0, d.weight);
    EXPECT_EQ(0, d.italic);
    EXPECT_EQ(0, d.charset);
    EXPECT_EQ("ＭＳ Ｐゴシック", d.font);
    const std::vector<Control>& expected = entry.first == 100 ? kTemplate100 : kTemplate101;
    ASSERT_EQ(expected.size(), d.controls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const Control& e = expected[i];
      const Control& c = d.controls[i];
      SCOPED_TRACE("control " + std::to_string(e.id));
      EXPECT_EQ(e.id, c.id);
      EXPECT_EQ(e.className, c.className);
      EXPECT_EQ(e.text, c.text);
      EXPECT_EQ(e.style, c.style) << std::hex << c.style;
      EXPECT_EQ(0u, c.exStyle);
      EXPECT_EQ(e.x, c.x);
      EXPECT_EQ(e.y, c.y);
      EXPECT_EQ(e.cx, c.cx);
      EXPECT_EQ(e.cy, c.cy);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, WizardTemplates,
                         ::testing::Values(Source{"dialogs_rc", nullptr},
                                           Source{"win64", "UPDATER_WIN64_BUILD"},
                                           Source{"win32", "UPDATER_WIN32_BUILD"}),
                         [](const ::testing::TestParamInfo<Source>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
