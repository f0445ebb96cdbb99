// updpack and the integrity of the updaters it builds: the digest each one
// carries of its archive, as verify and list report it wherever a byte is
// damaged, and Authenticode signing with a certificate made for the test.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "authoring/pe_resources.h"
#include "tests/updpack/updpack_fixture.h"

namespace {

std::string SourceFolder() {
  std::string path = __FILE__;
  return path.substr(0, path.rfind("/tests/updpack/"));
}

const char kUpdateIni[] =
    "[SETUP]\r\nCompanyName=ExampleSoft\r\nGameTitle=Game\r\nGameClass=GameClass\r\n"
    "GameDir=Game\r\n[UPDATE]\r\nUpdateFile00=game.dat\r\n";

class UpdaterIntegrity : public UpdpackTest {
 protected:
  void SetUp() override {
    UpdpackTest::SetUp();
    kit_ = SourceFolder() + "/build/win64/kit";
    ASSERT_TRUE(fs::exists(kit_ + "/link-updater.sh"))
        << "no kit at " << kit_ << " (building updpack builds it)";
    WriteBytes(Path("release/UPDATE.INI"), kUpdateIni);
    WriteBytes(Path("release/game.dat"), std::string(5000, 'g') + "the end");
  }

  Result Build(const std::string& output, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"build-exe", "-o", output, "--arch", "win64"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back("release");
    return Updpack(args);
  }

  // Where resource UPDATE `id` lies in the executable at `path`.
  PeResource ResourceOf(const std::string& path, uint16_t id) {
    const Bytes exe = ReadBytes(path);
    PeImage image;
    std::string error;
    EXPECT_TRUE(ReadPeImage(exe.data(), exe.size(), &image, &error)) << error;
    const PeResource* r =
        FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(id));
    EXPECT_NE(nullptr, r) << "UPDATE " << id;
    return r != nullptr ? *r : PeResource();
  }

  void FlipByte(const std::string& path, size_t offset) {
    Bytes bytes = ReadBytes(path);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] ^= 0x20;
    WriteBytes(path, std::string(bytes.begin(), bytes.end()));
  }

  std::string kit_;
};

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

TEST_F(UpdaterIntegrity, TheUpdaterCarriesTheDigestOfItsArchive) {
  ASSERT_EQ(0, Build("UPDATE.EXE").status);
  const Bytes exe = ReadBytes(Path("UPDATE.EXE"));
  const PeResource archive = ResourceOf(Path("UPDATE.EXE"), 102);
  const PeResource digest = ResourceOf(Path("UPDATE.EXE"), 103);
  ASSERT_EQ(32u, digest.size);
  uint8_t expected[SHA256_DIGEST_LENGTH];
  SHA256(exe.data() + archive.offset, archive.size, expected);
  EXPECT_TRUE(std::equal(expected, expected + 32, exe.begin() + digest.offset));

  const Result verified = Updpack({"verify", "UPDATE.EXE"});
  EXPECT_EQ(0, verified.status) << verified.err;
  EXPECT_NE(std::string::npos, verified.out.find("UPDATE.EXE: digest matches")) << verified.out;
  EXPECT_NE(std::string::npos, verified.out.find("UPDATE.EXE: not signed")) << verified.out;
  const Result listed = Updpack({"list", "UPDATE.EXE"});
  EXPECT_NE(std::string::npos, listed.out.find("digest            matches")) << listed.out;
  const Result json = Updpack({"list", "--json", "UPDATE.EXE"});
  EXPECT_NE(std::string::npos, json.out.find("\"digest\": \"matches\"")) << json.out;
}

// One damaged byte anywhere in the archive, or in the digest itself.
struct Damage {
  const char* what;
  uint16_t resource;
  size_t (*offset)(const Bytes& archive);
};

class UpdaterDamage : public UpdaterIntegrity, public ::testing::WithParamInterface<Damage> {};

TEST_P(UpdaterDamage, VerifyAndListSayTheDigestDoesNotMatch) {
  ASSERT_EQ(0, Build("UPDATE.EXE").status);
  const PeResource archive = ResourceOf(Path("UPDATE.EXE"), 102);
  const PeResource damaged = ResourceOf(Path("UPDATE.EXE"), GetParam().resource);
  const Bytes exe = ReadBytes(Path("UPDATE.EXE"));
  const Bytes archiveBytes(exe.begin() + archive.offset,
                           exe.begin() + archive.offset + archive.size);
  FlipByte(Path("UPDATE.EXE"), damaged.offset + GetParam().offset(archiveBytes));

  const Result verified = Updpack({"verify", "UPDATE.EXE"});
  EXPECT_EQ(1, verified.status) << GetParam().what;
  EXPECT_NE(std::string::npos, verified.err.find("UPDATE.EXE\": digest does not match"))
      << GetParam().what << ": " << verified.err;
  // The verdict says so: never "sound" beside a failed check.
  EXPECT_EQ(std::string::npos, verified.out.find(": sound")) << verified.out;
  EXPECT_NE(std::string::npos, verified.err.find("UPDATE.EXE: not sound: digest does not match"))
      << verified.err;
  // list shows it in its table, or says it first when the damage hides the
  // table.
  const Result listed = Updpack({"list", "UPDATE.EXE"});
  EXPECT_TRUE(listed.out.find("digest            does not match") != std::string::npos ||
              listed.err.find("UPDATE.EXE\": digest does not match") != std::string::npos)
      << GetParam().what << ": " << listed.out << listed.err;
}

uint32_t DirectoryOffset(const Bytes& archive) {
  return uint32_t(archive[8]) | uint32_t(archive[9]) << 8 | uint32_t(archive[10]) << 16 |
         uint32_t(archive[11]) << 24;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Bytes, UpdaterDamage,
    ::testing::Values(
        Damage{"header", 102, [](const Bytes&) -> size_t { return 12; }},
        Damage{"data area", 102, [](const Bytes&) -> size_t { return 40; }},
        Damage{"directory", 102,
               [](const Bytes& a) -> size_t { return DirectoryOffset(a) + 5; }},
        Damage{"digest", 103, [](const Bytes&) -> size_t { return 31; }}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = c == ' ' ? '_' : c;
      return name;
    });
// clang-format on

TEST_F(UpdaterIntegrity, AnUpdaterWithoutADigestIsReportedAsSuch) {
  // An updater linked as builds did before the digest: the kit's script
  // without its digest resource.
  fs::copy(kit_, Path("oldkit"), fs::copy_options::recursive);
  const std::string script = Path("oldkit/link-updater.sh");
  std::string text = ReadText(script);
  const size_t line = text.find("  echo '103 UPDATE \"digest.bin\"'\n");
  ASSERT_NE(std::string::npos, line);
  text.erase(line, text.find('\n', line) + 1 - line);
  WriteBytes(script, text);
  ASSERT_EQ(0, Updpack({"create", "-o", "update.vq2", "release"}).status);
  ASSERT_EQ(0, std::system(
                   ("bash " + script + " " + Path("update.vq2") + " " + Path("OLD.EXE")).c_str()));

  const Result verified = Updpack({"verify", "OLD.EXE"});
  EXPECT_EQ(0, verified.status) << verified.err;
  EXPECT_NE(std::string::npos, verified.out.find("OLD.EXE: no digest")) << verified.out;
  // A release pipeline that requires the digest is not fooled by its absence.
  const Result required = Updpack({"verify", "--require-digest", "OLD.EXE"});
  EXPECT_EQ(1, required.status);
  EXPECT_EQ(std::string::npos, required.out.find(": sound")) << required.out;
  EXPECT_NE(std::string::npos, required.err.find("OLD.EXE: not sound: no digest")) << required.err;
  EXPECT_NE(std::string::npos, Updpack({"list", "OLD.EXE"}).out.find("digest            none"));
  // Building from it again gives an updater with the digest.
  const Result rebuilt =
      Updpack({"build-exe", "-o", "NEW.EXE", "--arch", "win64", "--archive", "OLD.EXE"});
  ASSERT_EQ(0, rebuilt.status) << rebuilt.err;
  EXPECT_NE(std::string::npos, Updpack({"verify", "NEW.EXE"}).out.find("digest matches"));
}

// Takes "UPDATE" 103 out of the updater's reach, as if it had been removed:
// its entry in the resource directory (beside 102's, both leading to a
// subdirectory) names 104 instead.
void HideDigestResource(const std::string& path) {
  Bytes exe = ReadBytes(path);
  std::vector<size_t> found;
  for (size_t i = 0; i + 16 <= exe.size(); ++i) {
    if (Le32(&exe[i]) == 102 && (exe[i + 7] & 0x80) != 0 && Le32(&exe[i + 8]) == 103 &&
        (exe[i + 15] & 0x80) != 0) {
      found.push_back(i + 8);
    }
  }
  ASSERT_EQ(1u, found.size());
  PutLe32(&exe[found[0]], 104);
  WriteBytes(path, std::string(exe.begin(), exe.end()));
}

TEST_F(UpdaterIntegrity, ARemovedDigestIsWarnedOfAndFailsWhenRequired) {
  // Stored plain, so a changed byte of game.dat breaks nothing the
  // archive's own checks can see: only the digest could tell.
  ASSERT_EQ(0, Build("UPDATE.EXE", {"--store", "--no-scramble"}).status);
  HideDigestResource(Path("UPDATE.EXE"));
  const Bytes exe = ReadBytes(Path("UPDATE.EXE"));
  const std::string text(exe.begin(), exe.end());
  const size_t content = text.find("the end");
  ASSERT_NE(std::string::npos, content);
  FlipByte(Path("UPDATE.EXE"), content);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(exe.data(), exe.size(), &image, &error)) << error;
  ASSERT_EQ(nullptr,
            FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(103)));

  // Not refused by default, as the updater does not refuse it, but never
  // unseen.
  const Result plain = Updpack({"verify", "UPDATE.EXE"});
  EXPECT_EQ(0, plain.status) << plain.err;
  EXPECT_NE(std::string::npos, plain.out.find("UPDATE.EXE: no digest\n")) << plain.out;
  EXPECT_NE(std::string::npos,
            plain.err.find("updpack: warning: \"UPDATE.EXE\" carries no digest of its archive, "
                           "so the updater cannot tell a damaged archive (--require-digest "
                           "refuses it)\n"))
      << plain.err;

  const Result required = Updpack({"verify", "--require-digest", "UPDATE.EXE"});
  EXPECT_EQ(1, required.status);
  EXPECT_EQ(std::string::npos, required.out.find(": sound")) << required.out;
  EXPECT_NE(std::string::npos,
            required.err.find("updpack: UPDATE.EXE: not sound: no digest (--require-digest)\n"))
      << required.err;
}

// A certificate and key made for the test with openssl.
class UpdaterSigning : public UpdaterIntegrity {
 protected:
  void SetUp() override {
    UpdaterIntegrity::SetUp();
    if (IsSkipped()) return;
    const std::string command =
        "cd " + Path("") +
        " && openssl req -x509 -newkey rsa:2048 -days 30 -subj '/CN=Example Soft Release' "
        "-keyout key.pem -out cert.pem -passout pass:s3cret 2>/dev/null"
        " && openssl req -x509 -newkey rsa:2048 -days 30 -subj '/CN=Someone Else' -nodes "
        "-keyout other-key.pem -out other-cert.pem 2>/dev/null"
        " && printf 's3cret\\n' >pass.txt && printf 'no\\n' >wrong-pass.txt";
    ASSERT_EQ(0, std::system(command.c_str()));
  }
  const std::vector<std::string> signing_ = {"--sign-cert", "cert.pem",         "--sign-key",
                                             "key.pem",     "--sign-pass-file", "pass.txt"};
};

TEST_F(UpdaterSigning, ASignedUpdaterVerifiesAndAChangedByteBreaksIt) {
  const Result built = Build("SIGNED.EXE", signing_);
  ASSERT_EQ(0, built.status) << built.err;
  EXPECT_NE(std::string::npos, built.out.find(", signed")) << built.out;

  const Result trusted = Updpack({"verify", "--ca", "cert.pem", "SIGNED.EXE"});
  EXPECT_EQ(0, trusted.status) << trusted.err;
  EXPECT_NE(std::string::npos,
            trusted.out.find("SIGNED.EXE: signed by /CN=Example Soft Release, signature valid"))
      << trusted.out;
  EXPECT_NE(std::string::npos, trusted.out.find("digest matches")) << trusted.out;

  // Nothing the system trusts vouches for the test's own certificate.
  const Result untrusted = Updpack({"verify", "SIGNED.EXE"});
  EXPECT_EQ(1, untrusted.status);
  EXPECT_NE(std::string::npos, untrusted.err.find("signature not valid (self-signed certificate)"))
      << untrusted.err;

  // A byte of the DOS stub's text: the archive and its digest are intact,
  // the signature is not.
  FlipByte(Path("SIGNED.EXE"), 0x50);
  const Result changed = Updpack({"verify", "--ca", "cert.pem", "SIGNED.EXE"});
  EXPECT_EQ(1, changed.status);
  EXPECT_NE(std::string::npos, changed.out.find("digest matches")) << changed.out;
  EXPECT_NE(std::string::npos,
            changed.err.find("signature not valid (the file was changed after it was signed)"))
      << changed.err;
}

TEST_F(UpdaterSigning, ThePasswordComesFromTheEnvironmentToo) {
  ASSERT_EQ(0, setenv("UPDPACK_TEST_PASSWORD", "s3cret", 1));
  const Result built = Build("SIGNED.EXE", {"--sign-cert", "cert.pem", "--sign-key", "key.pem",
                                            "--sign-pass-env", "UPDPACK_TEST_PASSWORD"});
  unsetenv("UPDPACK_TEST_PASSWORD");
  ASSERT_EQ(0, built.status) << built.err;
  const Result verified =
      Updpack({"verify", "--require-signature", "--ca", "cert.pem", "SIGNED.EXE"});
  EXPECT_EQ(0, verified.status) << verified.err;
  EXPECT_NE(std::string::npos, verified.out.find("SIGNED.EXE: sound")) << verified.out;
}

// Whether an updater is signed is read from its certificate table, not
// from text that the certificate's own names can fill.
TEST_F(UpdaterSigning, ASignersNameCannotPassForNoSignature) {
  ASSERT_EQ(0, std::system(("cd " + Path("") +
                            " && openssl req -x509 -newkey rsa:2048 -days 30 -nodes"
                            " -subj '/CN=No signature found' -keyout odd-key.pem"
                            " -out odd-cert.pem 2>/dev/null")
                               .c_str()));
  ASSERT_EQ(0,
            Build("ODD.EXE", {"--sign-cert", "odd-cert.pem", "--sign-key", "odd-key.pem"}).status);
  const Result untrusted = Updpack({"verify", "ODD.EXE"});
  EXPECT_EQ(1, untrusted.status);
  EXPECT_EQ(std::string::npos, untrusted.out.find("not signed")) << untrusted.out;
  EXPECT_NE(std::string::npos, untrusted.err.find("signature not valid")) << untrusted.err;
  const Result trusted =
      Updpack({"verify", "--require-signature", "--ca", "odd-cert.pem", "ODD.EXE"});
  EXPECT_EQ(0, trusted.status) << trusted.err;
  EXPECT_NE(std::string::npos, trusted.out.find("signature valid")) << trusted.out;
}

TEST_F(UpdaterSigning, AStrippedSignatureFailsWhenASignatureIsRequired) {
  ASSERT_EQ(0, Build("SIGNED.EXE", signing_).status);
  ASSERT_EQ(0, std::system(("cd " + Path("") +
                            " && osslsigncode remove-signature -in SIGNED.EXE -out STRIPPED.EXE"
                            " >/dev/null 2>&1")
                               .c_str()));
  const Result plain = Updpack({"verify", "STRIPPED.EXE"});
  EXPECT_EQ(0, plain.status) << plain.err;
  EXPECT_NE(std::string::npos, plain.out.find("STRIPPED.EXE: not signed")) << plain.out;
  const Result required =
      Updpack({"verify", "--require-signature", "--ca", "cert.pem", "STRIPPED.EXE"});
  EXPECT_EQ(1, required.status);
  EXPECT_EQ(std::string::npos, required.out.find(": sound")) << required.out;
  EXPECT_NE(std::string::npos,
            required.err.find("STRIPPED.EXE: not sound: not signed (--require-signature)"))
      << required.err;
}

// The key's password reaches the signing tool in a private file, never on
// its command line (which every process can read) nor in its environment.
// A stand-in osslsigncode, first on PATH, notes what it was given and
// hands on to the real one.
struct PasswordSource {
  const char* what;
  std::vector<std::string> options;
  const char* variable;  // set to the password for the run, when not null
};

class SigningPassword : public UpdaterSigning,
                        public ::testing::WithParamInterface<PasswordSource> {
 protected:
  void SetUp() override {
    UpdaterSigning::SetUp();
    if (IsSkipped()) return;
    path_ = std::getenv("PATH");
    WriteBytes(Path("bin/osslsigncode"),
               "#!/bin/sh\n"
               "if [ \"$1\" = sign ]; then\n"
               "  printf '%s\\n' \"$@\" >'" +
                   Path("sign-argv") +
                   "'\n"
                   "  env >'" +
                   Path("sign-env") +
                   "'\n"
                   "  previous=\n"
                   "  for argument in \"$@\"; do\n"
                   "    if [ \"$previous\" = -readpass ]; then\n"
                   "      printf '%s' \"$argument\" >'" +
                   Path("pass-path") +
                   "'\n"
                   "      stat -c %a \"$argument\" >'" +
                   Path("pass-mode") +
                   "'\n"
                   "      cat \"$argument\" >'" +
                   Path("pass-seen") +
                   "'\n"
                   "    fi\n"
                   "    previous=$argument\n"
                   "  done\n"
                   "fi\n"
                   "PATH='" +
                   path_ + "' exec osslsigncode \"$@\"\n");
    fs::permissions(Path("bin/osslsigncode"), fs::perms::owner_all);
    ASSERT_EQ(0, setenv("PATH", (Path("bin") + ":" + path_).c_str(), 1));
  }
  void TearDown() override {
    if (!path_.empty()) setenv("PATH", path_.c_str(), 1);
    UpdaterSigning::TearDown();
  }
  std::string path_;
};

TEST_P(SigningPassword, ReachesTheToolOnlyInAPrivateFile) {
  std::vector<std::string> options = {"--sign-cert", "cert.pem", "--sign-key", "key.pem"};
  options.insert(options.end(), GetParam().options.begin(), GetParam().options.end());
  if (GetParam().variable != nullptr) {
    ASSERT_EQ(0, setenv(GetParam().variable, "s3cret", 1));
  }
  const Result built = Build("SIGNED.EXE", options);
  if (GetParam().variable != nullptr) unsetenv(GetParam().variable);
  ASSERT_EQ(0, built.status) << built.err;

  const std::string argv = ReadText(Path("sign-argv"));
  ASSERT_NE(std::string::npos, argv.find("-readpass\n")) << argv;
  EXPECT_EQ(std::string::npos, argv.find("s3cret")) << argv;
  EXPECT_EQ(std::string::npos, ReadText(Path("sign-env")).find("s3cret"));
  EXPECT_EQ("600\n", ReadText(Path("pass-mode")));
  EXPECT_EQ("s3cret", ReadText(Path("pass-seen")));
  const std::string passFile = ReadText(Path("pass-path"));
  ASSERT_FALSE(passFile.empty());
  EXPECT_FALSE(fs::exists(passFile)) << passFile;

  const Result verified =
      Updpack({"verify", "--require-signature", "--ca", "cert.pem", "SIGNED.EXE"});
  EXPECT_EQ(0, verified.status) << verified.err;
  EXPECT_NE(std::string::npos, verified.out.find("SIGNED.EXE: sound\n")) << verified.out;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sources, SigningPassword,
    ::testing::Values(PasswordSource{"file", {"--sign-pass-file", "pass.txt"}, nullptr},
                      PasswordSource{"environment",
                                     {"--sign-pass-env", "UPDPACK_TEST_PASSWORD"},
                                     "UPDPACK_TEST_PASSWORD"}),
    [](const auto& info) { return std::string(info.param.what); });
// clang-format on

// A signer's name is shown (printably, in UTF-8) and decides nothing: not
// whether the signature is valid, nor why it is not.
struct SignerName {
  const char* what;
  const char* commonName;  // as given to openssl
  const char* shown;       // as verify prints it
};

class SignerNames : public UpdaterSigning, public ::testing::WithParamInterface<SignerName> {};

TEST_P(SignerNames, AreShownAndDecideNothing) {
  ASSERT_EQ(0, std::system(("cd " + Path("") +
                            " && openssl req -x509 -newkey rsa:2048 -days 30 -nodes -utf8"
                            " -subj '/CN=" +
                            GetParam().commonName +
                            "' -keyout named-key.pem"
                            " -out named-cert.pem 2>/dev/null")
                               .c_str()));
  ASSERT_EQ(
      0,
      Build("NAMED.EXE", {"--sign-cert", "named-cert.pem", "--sign-key", "named-key.pem"}).status);
  const std::string signer = std::string("signed by /CN=") + GetParam().shown;

  const Result untrusted = Updpack({"verify", "NAMED.EXE"});
  EXPECT_EQ(1, untrusted.status);
  EXPECT_NE(std::string::npos,
            untrusted.err.find("\"NAMED.EXE\": " + signer +
                               ", signature not valid (self-signed certificate)\n"))
      << untrusted.err;
  EXPECT_NE(std::string::npos, untrusted.err.find("NAMED.EXE: not sound: signature not valid\n"))
      << untrusted.err;
  EXPECT_EQ(std::string::npos, untrusted.out.find(": sound")) << untrusted.out;

  const Result trusted =
      Updpack({"verify", "--require-signature", "--ca", "named-cert.pem", "NAMED.EXE"});
  EXPECT_EQ(0, trusted.status) << trusted.err;
  EXPECT_NE(std::string::npos, trusted.out.find("NAMED.EXE: " + signer + ", signature valid\n"))
      << trusted.out;
  EXPECT_NE(std::string::npos, trusted.out.find("NAMED.EXE: sound\n")) << trusted.out;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Names, SignerNames,
    ::testing::Values(
        SignerName{"the_tools_success_line", "Signature verification: ok",
                   "Signature verification: ok"},
        SignerName{"the_tools_mismatch_mark", "MISMATCH Error: none",
                   "MISMATCH Error: none"},
        SignerName{"japanese", "株式会社スター", "株式会社スター"},
        SignerName{"a_control_sequence", "Evil\x1B[2J", "Evil\\x1B[2J"}),
    [](const auto& info) { return std::string(info.param.what); });
// clang-format on

// Where the certificate table's directory entry (the security data
// directory, index 4) lies in a PE image.
size_t CertificateDirectory(const Bytes& exe) {
  const size_t optional = Le32(&exe[0x3C]) + 24;
  const bool pe32Plus = exe[optional] == 0x0B && exe[optional + 1] == 0x02;
  return optional + (pe32Plus ? 112 : 96) + 4 * 8;
}

// A certificate table that is there but holds no signature that can be
// read: still "signed", never "not signed", and not valid.
struct TableDamage {
  const char* what;
  void (*damage)(Bytes* exe, size_t directory);
};

class DamagedCertificateTable : public UpdaterSigning,
                                public ::testing::WithParamInterface<TableDamage> {};

TEST_P(DamagedCertificateTable, ReadsAsSignedAndNotValid) {
  ASSERT_EQ(0, Build("SIGNED.EXE", signing_).status);
  Bytes exe = ReadBytes(Path("SIGNED.EXE"));
  const size_t directory = CertificateDirectory(exe);
  ASSERT_NE(0u, Le32(&exe[directory + 4]));
  GetParam().damage(&exe, directory);
  WriteBytes(Path("SIGNED.EXE"), std::string(exe.begin(), exe.end()));

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"verify", "--ca", "cert.pem", "SIGNED.EXE"},
        std::vector<std::string>{"verify", "--ca", "cert.pem", "--require-signature",
                                 "SIGNED.EXE"}}) {
    const Result verified = Updpack(args);
    EXPECT_EQ(1, verified.status);
    EXPECT_EQ(std::string::npos, verified.out.find("not signed")) << verified.out;
    EXPECT_EQ(std::string::npos, verified.out.find(": sound")) << verified.out;
    EXPECT_NE(std::string::npos,
              verified.err.find("\"SIGNED.EXE\": signed, signature not valid (the certificate "
                                "table holds no signature that can be read)\n"))
        << verified.err;
    EXPECT_NE(std::string::npos, verified.err.find("SIGNED.EXE: not sound: signature not valid\n"))
        << verified.err;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tables, DamagedCertificateTable,
    ::testing::Values(
        TableDamage{"signed_data_zeroed",
                    [](Bytes* exe, size_t directory) {
                      const uint32_t at = Le32(&(*exe)[directory]);
                      const uint32_t size = Le32(&(*exe)[directory + 4]);
                      std::fill(exe->begin() + at + 8, exe->begin() + at + size, 0);
                    }},
        TableDamage{"only_the_entry_header",
                    [](Bytes* exe, size_t directory) { PutLe32(&(*exe)[directory + 4], 8); }},
        TableDamage{"no_bytes",
                    [](Bytes* exe, size_t directory) { PutLe32(&(*exe)[directory + 4], 0); }},
        TableDamage{"past_the_end_of_the_file",
                    [](Bytes* exe, size_t directory) {
                      PutLe32(&(*exe)[directory], uint32_t(exe->size() + 16));
                    }},
        TableDamage{"an_entry_shorter_than_its_header",
                    [](Bytes* exe, size_t directory) {
                      PutLe32(&(*exe)[Le32(&(*exe)[directory])], 3);
                    }}),
    [](const auto& info) { return std::string(info.param.what); });
// clang-format on

struct UnusableSigning {
  const char* what;
  std::vector<std::string> options;
  int status;
  const char* says;
};

class UpdaterSigningRefusal : public UpdaterSigning,
                              public ::testing::WithParamInterface<UnusableSigning> {};

TEST_P(UpdaterSigningRefusal, SaysWhyInOneLineAndLeavesNoOutput) {
  const Result r = Build("SIGNED.EXE", GetParam().options);
  EXPECT_EQ(GetParam().status, r.status) << GetParam().what;
  EXPECT_NE(std::string::npos, r.err.find(GetParam().says)) << GetParam().what << ": " << r.err;
  EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  EXPECT_FALSE(fs::exists(Path("SIGNED.EXE"))) << GetParam().what;
  for (const auto& entry : fs::directory_iterator(Path(""))) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find("SIGNED.EXE"))
        << "left behind: " << entry.path();
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, UpdaterSigningRefusal,
    ::testing::Values(
        UnusableSigning{"a wrong password",
                        {"--sign-cert", "cert.pem", "--sign-key", "key.pem",
                         "--sign-pass-file", "wrong-pass.txt"},
                        1, "cannot sign with \"cert.pem\" and \"key.pem\": "},
        UnusableSigning{"an unreadable password file",
                        {"--sign-cert", "cert.pem", "--sign-key", "key.pem",
                         "--sign-pass-file", "no-such-pass.txt"},
                        1, "cannot read the key's password from \"no-such-pass.txt\""},
        UnusableSigning{"an unset password variable",
                        {"--sign-cert", "cert.pem", "--sign-key", "key.pem",
                         "--sign-pass-env", "UPDPACK_TEST_UNSET_PASSWORD"},
                        1, "\"UPDPACK_TEST_UNSET_PASSWORD\" (--sign-pass-env) is not set"},
        UnusableSigning{"a password on the command line",
                        {"--sign-cert", "cert.pem", "--sign-key", "key.pem", "--sign-pass",
                         "s3cret"},
                        2, "--sign-pass: the key's password is not taken on the command line, "
                           "where every process can read it: use --sign-pass-file FILE or "
                           "--sign-pass-env NAME"},
        UnusableSigning{"a key of another certificate",
                        {"--sign-cert", "cert.pem", "--sign-key", "other-key.pem"},
                        1, "cannot sign with \"cert.pem\" and \"other-key.pem\": "},
        UnusableSigning{"a key given as the certificate",
                        {"--sign-cert", "other-key.pem", "--sign-key", "other-key.pem"},
                        1, "cannot sign with \"other-key.pem\" and \"other-key.pem\": "},
        UnusableSigning{"a missing key file",
                        {"--sign-cert", "cert.pem", "--sign-key", "nothing.pem"},
                        1, "cannot sign: cannot read \"nothing.pem\""},
        UnusableSigning{"a certificate without a key",
                        {"--sign-cert", "cert.pem"},
                        2, "signing needs both --sign-cert and --sign-key"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = c == ' ' ? '_' : c;
      return name;
    });
// clang-format on

}  // namespace
