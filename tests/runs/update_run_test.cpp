// The update run over a real installation: one table of [UPDATE] sections
// and starting installations with the installation, the messages, the shell
// copies and the wizard's state expected afterwards.
#include "tests/runs/update_run_bench.h"

namespace update_run_test {
namespace {

struct RunCase {
  const char* what;
  int instMode;
  std::string ini;                     // lines of [UPDATE], UTF-8
  std::vector<Installed> before;       // the installation before the run
  std::vector<Installed> after;        // what the run changes or adds
  std::vector<Message> messages;       // UTF-8
  bool complete;                       // else the dialog ends with -1
  std::vector<ShellCall> copies = {};  // UTF-8 paths
  std::vector<int> answers = {};
  const char* dataFolder = "";
  const char* existErrorMessage = "";
};

std::ostream& operator<<(std::ostream& out, const RunCase& c) { return out << c.what; }

const Message kWriteFailed{"ファイルの書き込みに失敗しました", kErrorBox};
const Message kNothingToUpdate{"アップデートする必要のあるファイルはありません", kErrorBox};
const Message kWrongVersion{"アップデートエラー：アップデート対象のバージョンが違います",
                            kErrorBox};
const Message kEntryNotFound{"Can't Find File in Resource !!", kErrorBox};
const Message kInsertDisc2{"ＣＤ－ＲＯＭドライブに「Game」ディスク 2 を入れて下さい",
                           win::kMbOkCancel};
constexpr unsigned kFileCopy = 528;
constexpr unsigned kFolderCopy = 1552;

const Installed kOldNew{"game/new.dat", "old", kOldTime};
const Installed kNewDat{"game/new.dat", "new data", kEntryTime};
const Installed kExists{"game/exists.txt", "here", kOldTime};

// The refusal of a line whose path would leave the installation.
Message BadPath(const std::string& key) {
  return {"UPDATE.INI : " + key +
              " のパスは使えません（インストール先の外、ドライブ名、\":\"、\"..\"、デバイス名を"
              "含むパスは指定できません）",
          kErrorBox};
}

// Sixteen lines "<prefix>00=<value>" to "<prefix>15=<value>".
std::string SixteenLines(const std::string& prefix, const std::string& value) {
  std::string lines;
  for (int i = 0; i < 16; ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d=", prefix.c_str(), i);
    lines += key + value + "\r\n";
  }
  return lines;
}

// clang-format off
const RunCase kCases[] = {
    {"a plain line writes its entry", 1, "UpdateFile00=new.dat\r\n", {kOldNew}, {kNewDat}, {},
     true},
    {"UpdateFile01 without UpdateFile00 reads nothing", 1, "UpdateFile01=new.dat\r\n",
     {kOldNew}, {}, {{"No 'UpdateFileXX' and 'CopyFileXX'", kErrorBox}}, false},
    {"line 16 is never read", 1,
     SixteenLines("UpdateFile", "e,exists.txt") + "UpdateFile16=new.dat\r\n" +
         SixteenLines("CopyFile", "2,1:movie") + "CopyFile16=1:readme.txt\r\n",
     {kExists}, {}, {kNothingToUpdate}, true},
    {"install-mode digit equal to the install mode", 1, "UpdateFile00=1,u,new.dat\r\n",
     {kOldNew}, {kNewDat}, {}, true},
    {"install-mode digit of another install mode", 2, "UpdateFile00=1,u,new.dat\r\n",
     {kOldNew}, {}, {kNothingToUpdate}, true},
    {"a first field of two characters is a path", 1, "UpdateFile00=12,new.dat\r\n", {kOldNew},
     {}, {kEntryNotFound, kWriteFailed}, false},
    {"U is u: a newer installed file stays", 1, "UpdateFile00=U,new.dat\r\n",
     {{"game/new.dat", "old", kEntryTime + 1}}, {}, {}, true},
    {"u rewrites a file of equal time", 1, "UpdateFile00=u,new.dat\r\n",
     {{"game/new.dat", "old", kEntryTime}}, {kNewDat}, {}, true},
    {"e fails whatever its install-mode digit, before anything is written", 1,
     "UpdateFile00=new.dat\r\nUpdateFile01=5,e,missing.txt\r\n", {kOldNew}, {},
     {kWrongVersion}, false},
    {"e fails on a bare folder", 1, "UpdateFile00=e,sub\r\n", {{"game/sub/", "", 0}}, {},
     {kWrongVersion}, false},
    {"e shows ExistErrorMessage when there is one", 1, "UpdateFile00=E,missing.txt\r\n", {},
     {}, {{"バージョン 1.0 が必要です", kErrorBox}}, false, {}, {}, "", "バージョン 1.0 が必要です"},
    {"e on an existing file adds nothing", 1, "UpdateFile00=e,exists.txt\r\nUpdateFile01=new.dat\r\n",
     {kExists}, {kNewDat}, {}, true},
    {"o skips a missing target silently", 1, "UpdateFile00=o,opt.dat\r\n", {}, {}, {}, true},
    {"o writes an existing target", 1, "UpdateFile00=O,opt.dat\r\n",
     {{"game/opt.dat", "old", kOldTime}}, {{"game/opt.dat", "option", kEntryTime}}, {}, true},
    {"OverwriteOnly skips missing targets and writes existing ones", 1,
     "OverwriteOnly=1\r\nUpdateFile00=new.dat\r\nUpdateFile01=u,opt.dat\r\n",
     {{"game/opt.dat", "old", kOldTime}}, {{"game/opt.dat", "option", kEntryTime}}, {}, true},
    {"OverwriteOnly of 0 changes nothing", 1, "OverwriteOnly=0\r\nUpdateFile00=new.dat\r\n", {},
     {kNewDat}, {}, true},
    {"d keeps an existing file's content and takes a new time", 1, "UpdateFile00=d,save.dat\r\n",
     {{"save/save.dat", "my save", kOldTime}}, {{"save/save.dat", "my save", kRecent}}, {}, true},
    {"d keeps a file that the archive does not even hold", 1, "UpdateFile00=D,mine.dat\r\n",
     {{"save/mine.dat", "mine", kOldTime}}, {{"save/mine.dat", "mine", kRecent}}, {}, true},
    {"d writes a missing file from the archive", 1, "UpdateFile00=d,save.dat\r\n", {},
     {{"save/save.dat", "fresh save", kEntryTime}}, {}, true},
    {"the data folder is created under both base folders", 1,
     "UpdateFile00=d,save.dat\r\nUpdateFile01=new.dat\r\n", {},
     {{"save/data/", "", 0},
      {"save/data/save.dat", "fresh save", kEntryTime},
      {"game/data/", "", 0},
      {"game/data/new.dat", "new data", kEntryTime}},
     {}, true, {}, {}, "data"},
    {"a missing sub-folder fails the write", 1, "UpdateFile00=sub\\new.dat\r\n", {}, {},
     {kWriteFailed}, false},
    {"a failure puts back the items before it", 1,
     "UpdateFile00=new.dat\r\nUpdateFile01=nosub\\opt.dat\r\n", {kOldNew}, {},
     {kWriteFailed}, false},
    {"a backslash that is a second byte does not end a folder name", 1,
     "UpdateFile00=表\\表.dat\r\n", {{"game/表/", "", 0}}, {{"game/表/表.dat", "hyou", kEntryTime}},
     {}, true},
    {"a name whose last byte is 0x5C is whole", 1, "UpdateFile00=u,表.dat\r\n", {},
     {{"game/表.dat", "hyou", kEntryTime}}, {}, true},
    // A copied file is staged beside its destination, then replaced with
    // the update items.
    {"a file from disc 1 goes to its path in the installation with 528", 1,
     "CopyFile00=1:readme.txt\r\n", {}, {{"game/readme.txt", "read me", kOldTime}}, {}, true,
     {{"E:\\readme.txt", "C:\\game\\~upd0.tmp", kFileCopy}}},
    // A copied folder goes into the run's copy folder first, and is merged
    // into the installation after the replace.
    {"a folder from disc 1 goes into the installation with 1552", 1, "CopyFile00=1:movie\r\n",
     {}, {{"game/movie/", "", 0}, {"game/movie/op.mpg", "opening", kOldTime}}, {}, true,
     {{"E:\\movie", "C:\\game\\~upd0.tmp", kFolderCopy},
      {"C:\\game\\~upd0.tmp\\movie", "C:\\game", kFolderCopy}}},
    {"a copy line of another install mode is skipped", 1, "CopyFile00=2,1:movie\r\n", {}, {},
     {kNothingToUpdate}, true},
    {"a copy line of this install mode is copied", 2, "CopyFile00=2,1:movie\r\n", {},
     {{"game/movie/", "", 0}, {"game/movie/op.mpg", "opening", kOldTime}}, {}, true,
     {{"E:\\movie", "C:\\game\\~upd0.tmp", kFolderCopy},
      {"C:\\game\\~upd0.tmp\\movie", "C:\\game", kFolderCopy}}},
    {"a line without a disc copies from the drive of the one before", 1,
     "CopyFile00=1:readme.txt\r\nCopyFile01=movie\r\n", {},
     {{"game/readme.txt", "read me", kOldTime},
      {"game/movie/", "", 0},
      {"game/movie/op.mpg", "opening", kOldTime}},
     {}, true,
     {{"E:\\readme.txt", "C:\\game\\~upd0.tmp", kFileCopy},
      {"E:\\movie", "C:\\game\\~upd1.tmp", kFolderCopy},
      {"C:\\game\\~upd1.tmp\\movie", "C:\\game", kFolderCopy}}},
    {"update items are staged before copy items are copied", 1,
     "CopyFile00=1:readme.txt\r\nUpdateFile00=new.dat\r\n", {},
     {kNewDat, {"game/readme.txt", "read me", kOldTime}}, {}, true,
     {{"E:\\readme.txt", "C:\\game\\~upd1.tmp", kFileCopy}}},
    {"a missing disc is asked for; Cancel ends the run with nothing written", 1,
     "UpdateFile00=new.dat\r\nCopyFile00=1:movie\r\nCopyFile01=2:extra\r\n", {}, {},
     {kInsertDisc2}, false, {{"E:\\movie", "C:\\game\\~upd1.tmp", kFolderCopy}},
     {win::kIdCancel}},

    {"OK searches again", 1, "CopyFile00=2:extra\r\n", {}, {}, {kInsertDisc2, kInsertDisc2},
     false, {}, {win::kIdOk, win::kIdCancel}},
    {"a missing source is copied as a folder and fails", 1, "CopyFile00=1:nothing\r\n", {}, {},
     {{"SETUP.INI : \"nothing\" のコピーに失敗しました", win::kMbIconError}}, false,
     {{"E:\\nothing", "C:\\game\\~upd0.tmp", kFolderCopy}}},
    // Refused before anything is written.
    {"a copy line without a disc before any with one", 1,
     "UpdateFile00=new.dat\r\nCopyFile00=movie\r\nCopyFile01=1:readme.txt\r\n", {kOldNew}, {},
     {{"UPDATE.INI : CopyFile00 にディスク番号がないため、コピー元のドライブが決まりません",
       kErrorBox}},
     false},
    {"a disc character outside 0 to 9", 1, "UpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\n"
     "CopyFile01=A:movie\r\n", {kOldNew}, {},
     {{"UPDATE.INI : CopyFile01 のディスク番号は 0 から 9 で指定して下さい", kErrorBox}}, false},
    {"a path field longer than 259 bytes", 1,
     "UpdateFile00=new.dat\r\nUpdateFile01=u," + std::string(260, 'p') + "\r\n", {kOldNew}, {},
     {{"UPDATE.INI : UpdateFile01 の値が長すぎます（259 バイトまで）", kErrorBox}}, false},
    {"a copy line longer than 259 bytes", 1,
     "UpdateFile00=new.dat\r\nCopyFile00=1:" + std::string(258, 'c') + "\r\n", {kOldNew}, {},
     {{"UPDATE.INI : CopyFile00 の値が長すぎます（259 バイトまで）", kErrorBox}}, false},
    {"a target path longer than 259 bytes", 1,
     "UpdateFile00=new.dat\r\nUpdateFile01=" + std::string(251, 'p') + "\r\n", {kOldNew}, {},
     {{"パスが長すぎます（259 バイトまで）：" + std::string(251, 'p'), kErrorBox}}, false},
    // Paths that would leave the installation (C:\\save is the data folder's
    // place beside it) are refused before anything is written.
    {"a path that climbs out", 1, "UpdateFile00=new.dat\r\nUpdateFile01=..\\save\\new.dat\r\n",
     {kOldNew}, {}, {BadPath("UpdateFile01")}, false},
    {"a path that climbs out below a folder", 1, "UpdateFile00=u,sub\\..\\..\\new.dat\r\n",
     {kOldNew}, {}, {BadPath("UpdateFile00")}, false},
    {"a path that climbs out by dots Windows trims", 1, "UpdateFile00=.. \\save\\new.dat\r\n",
     {kOldNew}, {}, {BadPath("UpdateFile00")}, false},
    {"an absolute path", 1, "UpdateFile00=d,\\save\\new.dat\r\n", {kOldNew}, {},
     {BadPath("UpdateFile00")}, false},
    {"a path with a stream", 1, "UpdateFile00=new.dat:hidden\r\n", {kOldNew}, {},
     {BadPath("UpdateFile00")}, false},
    {"a device name", 1, "UpdateFile00=sub\\con.dat\r\n", {kOldNew}, {},
     {BadPath("UpdateFile00")}, false},
    {"an existence test that climbs out", 1, "UpdateFile00=e,..\\save\\x\r\n", {kOldNew}, {},
     {BadPath("UpdateFile00")}, false},
    {"a copy line that climbs out", 1, "UpdateFile00=new.dat\r\nCopyFile00=1:..\\readme.txt\r\n",
     {kOldNew}, {}, {BadPath("CopyFile00")}, false},
    {"a copy line with a drive", 1, "CopyFile00=1:C:\\save\r\n", {kOldNew}, {},
     {BadPath("CopyFile00")}, false},
    {"a DataFolder that climbs out", 1, "UpdateFile00=new.dat\r\n", {kOldNew}, {},
     {BadPath("DataFolder")}, false, {}, {}, "..\\save"},
    // A second byte 0x5C is no separator: "表.." is a name, not "..".
    {"a name whose second byte is a backslash before two dots", 1,
     "UpdateFile00=表..\r\n", {kOldNew}, {}, {kEntryNotFound, kWriteFailed}, false},
    {"a copy destination longer than 259 bytes", 1,
     "UpdateFile00=new.dat\r\nCopyFile00=1:" + std::string(251, 'c') + "\r\n", {kOldNew}, {},
     {{"パスが長すぎます（259 バイトまで）：" + std::string(251, 'c'), kErrorBox}}, false},
};
// clang-format on

class UpdateRunTable : public UpdateRunTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(UpdateRunTable, LeavesTheExpectedInstallationMessagesAndWizard) {
  const RunCase& c = GetParam();
  updaterState.instMode = c.instMode;
  CopyText(updaterState.dataFolder, kPathSize, Sjis(c.dataFolder).c_str());
  CopyText(updaterState.existErrorMessage, kLongTextSize, Sjis(c.existErrorMessage).c_str());
  UseUpdateLines(c.ini);
  Install(c.before);
  answers = c.answers;

  RunUpdate(dialog_);

  EXPECT_EQ(Expected(c.before, c.after), Installation());
  EXPECT_EQ(InSjis(c.messages), Messages());
  for (const RecordedMessageBox& m : messages) {
    EXPECT_EQ(dialog_, m.owner);
    EXPECT_EQ(std::string(updaterState.caption), m.caption);
  }
  std::vector<ShellCall> copies;
  for (const ShellCall& call : c.copies)
    copies.push_back({Sjis(call.from), Sjis(call.to), call.flags});
  EXPECT_EQ(copies, shellCalls);
  if (c.complete) {
    ExpectComplete();
  } else {
    ExpectFailed();
  }
}

INSTANTIATE_TEST_SUITE_P(Sections, UpdateRunTable, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace update_run_test
