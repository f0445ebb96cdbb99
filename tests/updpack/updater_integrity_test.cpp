// updpack and the integrity of the updaters it builds: the digest each one
// carries of its archive, as verify and list report it wherever a byte is
// damaged, and Authenticode signing with a certificate made for the test
// (skipped when the kit has not been built).
#include <gtest/gtest.h>
#include <openssl/sha.h>

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
    if (!fs::exists(kit_ + "/link-updater.sh")) GTEST_SKIP() << "no kit at " << kit_;
    WriteBytes(Path("release/UPDATE.INI"), kUpdateIni);
    WriteBytes(Path("release/game.dat"), std::string(5000, 'g') + "the end");
  }

  Result Build(const std::string& output, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"build-exe", "-o", output, "--arch", "win64", "--kit", kit_};
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
  ASSERT_EQ(0, std::system(("bash " + script + " " + Path("update.vq2") + " " + Path("OLD.EXE"))
                               .c_str()));

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
  const Result rebuilt = Updpack({"build-exe", "-o", "NEW.EXE", "--arch", "win64", "--kit", kit_,
                                  "--archive", "OLD.EXE"});
  ASSERT_EQ(0, rebuilt.status) << rebuilt.err;
  EXPECT_NE(std::string::npos, Updpack({"verify", "NEW.EXE"}).out.find("digest matches"));
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
  const std::vector<std::string> signing_ = {"--sign-cert", "cert.pem", "--sign-key", "key.pem",
                                             "--sign-pass-file", "pass.txt"};
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
  const Result verified = Updpack({"verify", "--require-signature", "--ca", "cert.pem",
                                   "SIGNED.EXE"});
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
  ASSERT_EQ(0, Build("ODD.EXE", {"--sign-cert", "odd-cert.pem", "--sign-key", "odd-key.pem"})
                   .status);
  const Result untrusted = Updpack({"verify", "ODD.EXE"});
  EXPECT_EQ(1, untrusted.status);
  EXPECT_EQ(std::string::npos, untrusted.out.find("not signed")) << untrusted.out;
  EXPECT_NE(std::string::npos, untrusted.err.find("signature not valid")) << untrusted.err;
  const Result trusted = Updpack({"verify", "--require-signature", "--ca", "odd-cert.pem",
                                  "ODD.EXE"});
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
  const Result required = Updpack({"verify", "--require-signature", "--ca", "cert.pem",
                                   "STRIPPED.EXE"});
  EXPECT_EQ(1, required.status);
  EXPECT_EQ(std::string::npos, required.out.find(": sound")) << required.out;
  EXPECT_NE(std::string::npos,
            required.err.find("STRIPPED.EXE: not sound: not signed (--require-signature)"))
      << required.err;
}

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
                        2, "--sign-pass"},
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

}  // namespace
