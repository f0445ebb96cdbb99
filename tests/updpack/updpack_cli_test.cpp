// updpack run for real: the binary on temporary folders, its exit status,
// its messages and the archives and files it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "authoring/archive_writer.h"
#include "tests/updpack/updpack_fixture.h"

namespace {

TEST_F(UpdpackTest, CreateListExtractVerifyRoundTrip) {
  MakeGame("game");
  Result r = Updpack({"create", "-o", "update.vq2", "game"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);

  r = Updpack({"verify", "update.vq2"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("update.vq2: sound\n", r.out);

  r = Updpack({"list", "--json", "update.vq2"});
  ASSERT_EQ(0, r.status) << r.err;
  for (const char* name : {"\"UPDATE.INI\"", "\"説明書.txt\"", "\"データ.bin\"", "\"ｶﾅ.ogg\""}) {
    EXPECT_NE(std::string::npos, r.out.find(name)) << name;
  }
  EXPECT_NE(std::string::npos, r.out.find("\"fileTime\": " + std::to_string(kFileTime)));
  EXPECT_NE(std::string::npos, r.out.find("\"fileTimeUtc\": \"2001-02-03T04:05:06.7000000Z\""));

  r = Updpack({"list", "update.vq2"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("entries           5"));
  EXPECT_NE(std::string::npos, r.out.find("2001-02-03T04:05:06.7000000Z"));

  r = Updpack({"extract", "update.vq2", "-C", "out/here"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(
      (std::vector<std::string>{"UPDATE.INI", "empty.dat", "データ.bin", "説明書.txt", "ｶﾅ.ogg"}),
      Names("out/here"));
  for (const auto& f : files_) {
    const std::string extracted = Path("out/here/" + fs::path(f.first).filename().string());
    EXPECT_EQ(f.second, ReadText(extracted)) << extracted;
    struct stat info;
    ASSERT_EQ(0, stat(extracted.c_str(), &info));
    EXPECT_EQ(kTime.tv_sec, info.st_mtim.tv_sec) << extracted;
    EXPECT_EQ(kTime.tv_nsec, info.st_mtim.tv_nsec) << extracted;
  }
}

TEST_F(UpdpackTest, EntriesAreOrderedByTheirCodePage932Bytes) {
  MakeGame("game");
  ASSERT_EQ(0, Updpack({"create", "-o", "update.vq2", "game"}).status);
  const ArchiveListing listing = List("update.vq2");
  std::vector<std::string> names;
  for (const ArchiveEntry& e : listing.entries) names.push_back(EntryDisplayName(e));
  // First bytes: U 0x55, e 0x65, デ 0x83 0x66, 説 0x90 0xE0, ｶ 0xB6.
  EXPECT_EQ(
      (std::vector<std::string>{"UPDATE.INI", "empty.dat", "データ.bin", "説明書.txt", "ｶﾅ.ogg"}),
      names);
}

struct Form {
  const char* name;
  std::vector<std::string> options;
  uint32_t directoryFlags;
  uint8_t textFlags;  // of the entry that compresses
  uint8_t scrambled;
};
void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

class UpdpackForms : public UpdpackTest, public ::testing::WithParamInterface<Form> {};

TEST_P(UpdpackForms, ArchiveHasTheAskedFormAndReadsBack) {
  MakeGame("game");
  std::vector<std::string> args = {"create", "-o", "update.vq2"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  args.push_back("game");
  Result r = Updpack(args);
  ASSERT_EQ(0, r.status) << r.err;
  const ArchiveListing listing = List("update.vq2");
  EXPECT_EQ(GetParam().directoryFlags, listing.header.flags);
  ASSERT_EQ(5u, listing.entries.size());
  EXPECT_EQ(GetParam().textFlags, listing.entries[3].flags);  // 説明書.txt
  EXPECT_EQ(0, listing.entries[4].flags);                     // noise never shrinks
  for (const ArchiveEntry& e : listing.entries) EXPECT_EQ(GetParam().scrambled, e.scrambled);
  EXPECT_EQ(0, Updpack({"verify", "update.vq2"}).status);
  ASSERT_EQ(0, Updpack({"extract", "update.vq2", "-C", "out"}).status);
  for (const auto& f : files_) {
    EXPECT_EQ(f.second, ReadText(Path("out/" + fs::path(f.first).filename().string())));
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Options, UpdpackForms,
    ::testing::Values(Form{"Default", {}, 3, 2, 1}, Form{"Store", {"--store"}, 3, 0, 1},
                      Form{"NoScramble", {"--no-scramble"}, 3, 2, 0},
                      Form{"PlainDirectory", {"--directory", "plain"}, 0, 2, 1},
                      Form{"ScrambledDirectory", {"--directory", "scrambled"}, 2, 2, 1},
                      Form{"CompressedDirectory", {"--directory", "compressed"}, 1, 2, 1},
                      Form{"Everything", {"--store", "--no-scramble", "--directory", "plain"}, 0, 0, 0}),
    [](const ::testing::TestParamInfo<Form>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UpdpackTest, SameInputsGiveTheSameBytes) {
  MakeGame("a");
  WriteBytes(Path("b/readme.txt"), "read me");
  SetTime(Path("b/readme.txt"), kTime);
  ASSERT_EQ(0, Updpack({"create", "-o", "one.vq2", "a", "b"}).status);
  ASSERT_EQ(
      0,
      Updpack({"create", "-o", "two.vq2", "b", "a/data", "a/UPDATE.INI", "a/説明書.txt"}).status);
  EXPECT_EQ(ReadBytes(Path("one.vq2")), ReadBytes(Path("two.vq2")));
}

struct Refusal {
  const char* name;
  std::vector<std::string> files;  // relative to the input folder
  std::string expected;            // in the one line on standard error
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class UpdpackRefusals : public UpdpackTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(UpdpackRefusals, NothingIsWrittenAndTheReasonIsOneLine) {
  for (const std::string& f : GetParam().files) WriteBytes(Path("in/" + f), "content of " + f);
  WriteBytes(Path("out/update.vq2"), "the archive from before");
  const Result r = Updpack({"create", "-o", "out/update.vq2", "in"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0, r.err.rfind("updpack: ", 0)) << r.err;
  EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(GetParam().expected)) << r.err;
  EXPECT_EQ("the archive from before", ReadText(Path("out/update.vq2")));
  EXPECT_EQ(std::vector<std::string>{"update.vq2"}, Names("out"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Names, UpdpackRefusals,
    ::testing::Values(
        Refusal{"AsciiCase", {"one/a.txt", "two/A.TXT"}, "\"in/one/a.txt\" and \"in/two/A.TXT\" would be entries of the same name"},
        Refusal{"FullWidthCase", {"one/ａｂ.txt", "two/ＡＢ.txt"}, "same name"},
        Refusal{"GreekCase", {"one/αβ.txt", "two/ΑΒ.txt"}, "same name"},
        Refusal{"CyrillicCase", {"one/дом.txt", "two/ДОМ.txt"}, "same name"},
        Refusal{"NotInCodePage932", {"ok.txt", "smile😀.txt"}, "\"in/smile😀.txt\" cannot be written in code page 932"},
        Refusal{"WindowsForbidsTheName", {"a:b.txt"}, "\"in/a:b.txt\" is not a name Windows allows"},
        Refusal{"BackslashInTheName", {"a\\b.txt"}, "is not a name Windows allows"},
        Refusal{"YenBecomesABackslash", {"..¥..¥Windows¥evil.txt"}, "\"in/..¥..¥Windows¥evil.txt\" is not a name Windows allows for a file in code page 932: it holds a backslash"},
        Refusal{"TrailingDot", {"readme."}, "it ends in a dot or a space"},
        Refusal{"TrailingSpace", {"readme "}, "it ends in a dot or a space"},
        Refusal{"EscapeByte", {"a\x1B[31mred.txt"}, "\"in/a\\x1B[31mred.txt\" is not a name Windows allows for a file in code page 932: it holds a control character"},
        Refusal{"LineBreak", {"evil\nupdpack: fake.vq2: sound"}, "\"in/evil\\x0Aupdpack: fake.vq2: sound\""}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UpdpackTest, MissingInputIsRefused) {
  const Result r = Updpack({"create", "-o", "update.vq2", "nowhere"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("updpack: cannot read \"nowhere\": No such file or directory\n", r.err);
  EXPECT_FALSE(fs::exists(Path("update.vq2")));
}

TEST_F(UpdpackTest, OutputInAMissingFolderLeavesNothing) {
  MakeGame("game");
  const Result r = Updpack({"create", "-o", "no/such/folder/update.vq2", "game"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0, r.err.rfind("updpack: cannot create a file beside \"no/such/folder/update.vq2\""))
      << r.err;
  EXPECT_FALSE(fs::exists(Path("no")));
}

// An output that is one of the inputs' files, however it is spelled, is
// refused with one line and the file is left as it was.
TEST_F(UpdpackTest, OutputThatIsAnInputIsRefused) {
  WriteBytes(Path("in/a.txt"), "keep me");
  WriteBytes(Path("in/sub/b.txt"), "keep me too");
  ASSERT_EQ(0, link(Path("in/a.txt").c_str(), Path("hard.txt").c_str()));
  ASSERT_EQ(0, symlink("in/sub/b.txt", Path("soft.txt").c_str()));
  const struct {
    std::vector<std::string> args;
    std::string input;  // the file that must survive
  } cases[] = {
      {{"create", "-o", "in/a.txt", "in"}, "in/a.txt"},
      {{"create", "-o", "in/sub/b.txt", "in"}, "in/sub/b.txt"},
      {{"create", "-o", "./in/../in/a.txt", "in"}, "in/a.txt"},
      {{"create", "-o", "in/a.txt", "in/a.txt"}, "in/a.txt"},
      {{"create", "-o", "hard.txt", "in"}, "in/a.txt"},
      {{"create", "-o", "soft.txt", "in/sub"}, "in/sub/b.txt"},
      {{"create", "-o", "in/a.txt", "in/sub", "in/a.txt"}, "in/a.txt"},
  };
  for (const auto& c : cases) {
    const std::string before = ReadText(Path(c.input));
    const Result r = Updpack(c.args);
    EXPECT_EQ(1, r.status) << c.args[2];
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("would destroy that file")) << r.err;
    EXPECT_EQ(before, ReadText(Path(c.input))) << c.args[2];
  }
  EXPECT_EQ((std::vector<std::string>{"a.txt", "sub"}), Names("in"));
}

// Zeros make the exact pass give up within its budget: -v says so for that
// entry alone, and the archive still holds the content.
TEST_F(UpdpackTest, VerboseNamesEntriesPackedByTheLeastCostParse) {
  WriteBytes(Path("in/zeros.bin"), std::string(100000, '\0'));
  WriteBytes(Path("in/text.txt"), "a line of text, a line of text, a line of text\n");
  const Result r = Updpack({"create", "-v", "-o", "update.vq2", "in"});
  ASSERT_EQ(0, r.status) << r.err;
  std::istringstream lines(r.out);
  std::string zeros, text;
  std::getline(lines, text);
  std::getline(lines, zeros);
  EXPECT_EQ(0u, zeros.find("in/zeros.bin  100000 -> ")) << r.out;
  EXPECT_NE(std::string::npos, zeros.find("(least-cost parse:")) << r.out;
  EXPECT_EQ(0u, text.find("in/text.txt  ")) << r.out;
  EXPECT_EQ(std::string::npos, text.find("least-cost")) << r.out;
  ASSERT_EQ(0, Updpack({"extract", "update.vq2", "-C", "out"}).status);
  EXPECT_EQ(std::string(100000, '\0'), ReadText(Path("out/zeros.bin")));
}

TEST_F(UpdpackTest, ExtractFindsNamesAsTheUpdaterDoes) {
  WriteBytes(Path("in/ＡＢＣ.txt"), "full width");
  WriteBytes(Path("in/Readme.TXT"), "read me");
  ASSERT_EQ(0, Updpack({"create", "-o", "update.vq2", "in"}).status);
  Result r = Updpack({"extract", "update.vq2", "-C", "out", "readme.txt", "ａｂｃ.TXT"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ((std::vector<std::string>{"Readme.TXT", "ＡＢＣ.txt"}), Names("out"));

  r = Updpack({"extract", "update.vq2", "-C", "more", "Readme.TXT", "missing.dat"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("updpack: \"update.vq2\" has no entry named \"missing.dat\"\n", r.err);
  EXPECT_FALSE(fs::exists(Path("more")));
}

TEST_F(UpdpackTest, UsageErrorsAreOneLine) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{},
        {"create", "game"},
        {"create", "-o", "x.vq2", "--directory", "zipped", "game"},
        {"frobnicate"}}) {
    const Result r = Updpack(args);
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(0, r.err.rfind("updpack: ", 0)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  }
}

// Names from a hostile archive: escaped in human output, so that none forges
// a line or reaches the terminal as a control sequence, and exact in JSON.
TEST_F(UpdpackTest, HostileNamesArePrintedSafely) {
  std::vector<ArchiveItem> items(3);
  items[0].name = "evil\nupdpack: fake.vq2: sound";
  items[1].name = "clear\x1B[2J.txt";
  items[2].name = "..\\..\\Windows\\evil.txt";
  for (ArchiveItem& item : items) item.data = {'x'};
  Bytes image;
  std::string error;
  ASSERT_TRUE(BuildArchive(items, ArchiveOptions{}, &image, &error)) << error;
  std::ofstream(Path("hostile.vq2"), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

  const Result verify = Updpack({"verify", "hostile.vq2"});
  EXPECT_EQ(1, verify.status);
  // One line per entry's problem, then the verdict.
  std::istringstream lines(verify.err);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ("updpack: hostile.vq2: not sound: 3 problems in the archive", all.back());
  all.pop_back();
  for (const std::string& line : all) {
    EXPECT_EQ(0u, line.rfind("updpack: \"hostile.vq2\": entry ", 0)) << line;
    EXPECT_EQ(std::string::npos, line.find('\x1B')) << line;
  }
  EXPECT_NE(std::string::npos, verify.err.find("\"evil\\x0Aupdpack: fake.vq2: sound\""));
  EXPECT_NE(std::string::npos, verify.err.find("it holds a control character"));
  EXPECT_NE(std::string::npos, verify.err.find("it holds a backslash"));

  const Result list = Updpack({"list", "hostile.vq2"});
  ASSERT_EQ(0, list.status);
  EXPECT_EQ(std::string::npos, list.out.find('\x1B'));
  EXPECT_NE(std::string::npos, list.out.find("clear\\x1B[2J.txt"));
  EXPECT_EQ(std::string::npos, list.out.find("\nupdpack"));

  const Result json = Updpack({"list", "--json", "hostile.vq2"});
  ASSERT_EQ(0, json.status);
  EXPECT_NE(std::string::npos, json.out.find("\"name\": \"evil\\u000Aupdpack: fake.vq2: sound\""));
  EXPECT_NE(std::string::npos, json.out.find("\"name\": \"clear\\u001B[2J.txt\""));
  EXPECT_NE(std::string::npos, json.out.find("\"name\": \"..\\\\..\\\\Windows\\\\evil.txt\""));

  const Result extract = Updpack({"extract", "hostile.vq2", "-C", "out"});
  EXPECT_EQ(1, extract.status);
  EXPECT_EQ(3, std::count(extract.err.begin(), extract.err.end(), '\n')) << extract.err;
  EXPECT_TRUE(Names("out").empty());
  EXPECT_FALSE(fs::exists(Path("Windows")));
}

// Every name create accepts, extract writes: up to the 255 bytes a Linux
// name holds, the temporary file beside it included. Nothing else is left
// in the folder.
TEST_F(UpdpackTest, LongNamesRoundTrip) {
  const std::vector<std::string> names = {
      std::string(240, 'a'), std::string(251, 'b') + ".txt", std::string(255, 'c'), [] {
        std::string s;
        for (int i = 0; i < 85; ++i) s += "あ";  // 255 bytes of UTF-8, 170 of code page 932
        return s;
      }()};
  for (const std::string& name : names) WriteBytes(Path("in/" + name), "content of " + name);
  ASSERT_EQ(0, Updpack({"create", "-o", "long.vq2", "in"}).status);
  ASSERT_EQ(0, Updpack({"verify", "long.vq2"}).status);
  const Result r = Updpack({"extract", "long.vq2", "-C", "out"});
  ASSERT_EQ(0, r.status) << r.err;
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, Names("out"));
  for (const std::string& name : names)
    EXPECT_EQ("content of " + name, ReadText(Path("out/" + name)));
  ASSERT_EQ(0, Updpack({"extract", "long.vq2", "-C", "out"}).status);  // over the files there
  EXPECT_EQ(sorted, Names("out"));
}

// Killed at any moment, extract leaves no temporary file and no file
// half-written under an entry's name: each file there is whole.
TEST_F(UpdpackTest, KilledExtractLeavesNoTemporaryAndNoHalfFile) {
  std::map<std::string, std::string> contents;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "file" + std::to_string(1000 + i) + ".dat";
    contents[name] = std::string(6000000, char('a' + i)) + name;
    WriteBytes(Path("in/" + name), contents[name]);
  }
  ASSERT_EQ(0, Updpack({"create", "--store", "-o", "many.vq2", "in"}).status);
  for (int ms = 10; ms <= 250; ms += 12) {
    fs::remove_all(Path("out"));
    KillAfter({"extract", "many.vq2", "-C", "out"}, ms);
    if (!fs::exists(Path("out"))) continue;
    for (const std::string& name : Names("out")) {
      ASSERT_TRUE(contents.count(name)) << "left behind after " << ms << " ms: " << name;
      EXPECT_EQ(contents[name], ReadText(Path("out/" + name))) << name;
    }
  }
}

// Killed at any moment, create (which writes the archive as it packs)
// leaves the archive from before and no temporary file.
TEST_F(UpdpackTest, KilledCreateLeavesTheOldArchiveAndNoTemporary) {
  for (int i = 0; i < 8; ++i) {
    WriteBytes(Path("in/file" + std::to_string(i) + ".dat"), std::string(6000000, char('a' + i)));
  }
  WriteBytes(Path("out/update.vq2"), "the archive from before");
  for (int ms = 10; ms <= 250; ms += 12) {
    KillAfter({"create", "--store", "-o", "out/update.vq2", "in"}, ms);
    const std::vector<std::string> names = Names("out");
    ASSERT_EQ(std::vector<std::string>{"update.vq2"}, names) << "after " << ms << " ms";
    const std::string now = ReadText(Path("out/update.vq2"));
    if (now != "the archive from before") {
      EXPECT_EQ(0, Updpack({"verify", "out/update.vq2"}).status) << "after " << ms << " ms";
      WriteBytes(Path("out/update.vq2"), "the archive from before");
    }
  }
}

// Files past what 32-bit sizes reach are refused by their size, before they
// are read (sparse files here: nothing of them is on disk).
TEST_F(UpdpackTest, FilesPastThirtyTwoBitsAreRefusedBySize) {
  const uintmax_t fiveGiB = uintmax_t(5) << 30;
  WriteBytes(Path("in/big.bin"), "");
  fs::resize_file(Path("in/big.bin"), fiveGiB);
  WriteBytes(Path("big.vq2"), "");
  fs::resize_file(Path("big.vq2"), fiveGiB);
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"create", "-o", "out.vq2", "in"}, "\"in/big.bin\" is larger than an entry can be"},
      {{"verify", "big.vq2"}, "\"big.vq2\" is 5368709120 bytes long, more than the 4294967295"},
      {{"list", "big.vq2"}, "more than the 4294967295"},
      {{"extract", "big.vq2", "-C", "out"}, "more than the 4294967295"},
  };
  for (const auto& c : cases) {
    const Result r = Updpack(c.args);
    EXPECT_EQ(1, r.status) << c.args[0];
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.expected)) << r.err;
  }
  EXPECT_FALSE(fs::exists(Path("out.vq2")));
}

// Damage done to a packed archive (plain directory, nothing scrambled, so
// records and streams lie open) and what verify says about it.
struct Corruption {
  const char* name;
  size_t where;  // 0: header; else 1 + the index of the record to damage
  size_t field;
  int64_t change;
  std::string expected;
};
void PrintTo(const Corruption& c, std::ostream* os) { *os << c.name; }

class UpdpackVerify : public UpdpackTest, public ::testing::WithParamInterface<Corruption> {};

TEST_P(UpdpackVerify, FindsTheDamageAndSaysWhere) {
  MakeGame("game");
  ASSERT_EQ(0,
            Updpack({"create", "-o", "update.vq2", "--no-scramble", "--directory", "plain", "game"})
                .status);
  Bytes image = ReadBytes(Path("update.vq2"));
  const Corruption& c = GetParam();
  uint32_t directoryOffset;
  std::memcpy(&directoryOffset, image.data() + 8, 4);
  const size_t at = c.where == 0 ? c.field : directoryOffset + (c.where - 1) * 280 + c.field;
  uint32_t value;
  std::memcpy(&value, image.data() + at, 4);
  value = uint32_t(int64_t(value) + c.change);
  std::memcpy(image.data() + at, &value, 4);
  std::ofstream(Path("update.vq2"), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

  const Result r = Updpack({"verify", "update.vq2"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_NE(std::string::npos, r.err.find("updpack: \"update.vq2\": " + c.expected)) << r.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Damage, UpdpackVerify,
    ::testing::Values(
        Corruption{"BadMagic", 0, 0, 1, "header: the magic is 57 51 32 00"},
        Corruption{"DirectoryOutside", 0, 8, 100000, "header: the directory offset"},
        Corruption{"EntryOutside", 5, 276, 200, "entry 4 \"ｶﾅ.ogg\": its 5200 stored bytes at offset"},
        Corruption{"TruncatedStream", 4, 276, -2, "entry 3 \"説明書.txt\": the compressed stream is damaged"},
        Corruption{"UnpackedSizeTooLarge", 3, 272, 1, "entry 2 \"データ.bin\": the compressed stream ends after"},
        Corruption{"UnpackedSizeTooSmall", 3, 272, -1, "entry 2 \"データ.bin\": the compressed stream is damaged"}),
    [](const ::testing::TestParamInfo<Corruption>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
