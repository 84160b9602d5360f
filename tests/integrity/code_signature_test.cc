// Code signatures and the validation order of an engine executable. The tests make their own
// roots and signers and point the trust store at them.
#include "platform/code_signature.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "integrity/appended_signature.h"
#include "integrity/engine_validation.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"

namespace {

// The certificates of all tests, made once: a trusted root, an untrusted one, and signers.
class Certificates {
 public:
  Certificates() {
    Root("root");
    Root("other_root");
    Signer("quillmark", "/CN=Quillmark, Inc.", "root");
    Signer("no_period", "/CN=Quillmark, Inc", "root");
    Signer("lower_case", "/CN=quillmark, inc.", "root");
    Signer("untrusted", "/CN=Quillmark, Inc.", "other_root");
    Signer("organization_only", "/O=Quillmark, Inc./C=US", "root");
    Signer("tls_only", "/CN=Quillmark, Inc.", "root", "serverAuth");
    std::filesystem::create_directory(folder_.path() / "empty");
  }

  std::string Path(const std::string& name) const { return (folder_.path() / name).string(); }
  std::string Pem(const std::string& name) const { return ReadFile(Path(name + ".pem")); }
  std::string Key(const std::string& name) const { return ReadFile(Path(name + ".key")); }

  /// Trust only our root.
  void UseAsTrustStore() const {
    setenv("SSL_CERT_FILE", Path("root.pem").c_str(), 1);
    setenv("SSL_CERT_DIR", Path("empty").c_str(), 1);
  }

 private:
  static constexpr const char* kNewKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

  void Root(const std::string& name) {
    Run("openssl req -x509" + std::string(kNewKey) + " -keyout " + name + ".key -out " + name +
        ".pem -days 30 -subj '/CN=TestKVE test root " + name + "'" +
        " -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign");
  }

  void Signer(const std::string& name, const std::string& subject, const std::string& root,
              const std::string& usage = "codeSigning") {
    Run("printf 'basicConstraints=CA:false\\nkeyUsage=critical,digitalSignature\\n"
        "extendedKeyUsage=" +
        usage + "\\n' > " + name + ".ext");
    Run("openssl req -new" + std::string(kNewKey) + " -keyout " + name + ".key -out " + name + ".csr -subj '" +
        subject + "'");
    Run("openssl x509 -req -in " + name + ".csr -CA " + root + ".pem -CAkey " + root + ".key -set_serial " +
        std::to_string(++serial_) + " -days 30 -extfile " + name + ".ext -out " + name + ".pem");
  }

  void Run(const std::string& command) {
    if (!RunShell("cd " + folder_.path().string() + " && " + command + " 2>/dev/null")) {
      ADD_FAILURE() << "failed: " << command;
    }
  }

  TempFolder folder_;
  int serial_ = 0;
};

class CodeSignatureTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = new Certificates(); }
  static void TearDownTestSuite() {
    delete certificates_;
    certificates_ = nullptr;
  }
  void SetUp() override { certificates_->UseAsTrustStore(); }

  std::string CodeSigned(std::string content, const std::string& signer) {
    platform::Error error;
    EXPECT_TRUE(AppendCodeSignature(certificates_->Pem(signer), certificates_->Key(signer), &content, &error))
        << error.text;
    return content;
  }

  static Certificates* certificates_;
  TempFolder folder_;
};

Certificates* CodeSignatureTest::certificates_ = nullptr;

const std::string kEngine = "an engine executable's bytes\n";

TEST_F(CodeSignatureTest, OnlyTheExpectedSignerFromATrustedRootPasses) {
  struct Case {
    const char* signer;
    IntegrityVerdict result;
  } cases[] = {
      {"quillmark", IntegrityVerdict::kValid},
      {"organization_only", IntegrityVerdict::kValid},  // the display name falls back to O
      {"no_period", IntegrityVerdict::kInvalid},
      {"lower_case", IntegrityVerdict::kInvalid},
      {"untrusted", IntegrityVerdict::kInvalid},
      {"tls_only", IntegrityVerdict::kInvalid},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.signer);
    std::string path = folder_.Write("engine", CodeSigned(kEngine, test.signer)).string();
    EXPECT_EQ(VerifyCodeSignature(path.c_str()), test.result);
  }
}

TEST_F(CodeSignatureTest, SignerNameIsTheSimpleDisplayName) {
  struct Case {
    const char* signer;
    const char* name;
  } cases[] = {
      {"quillmark", "Quillmark, Inc."},
      {"no_period", "Quillmark, Inc"},
      {"organization_only", "Quillmark, Inc."},
  };
  for (const Case& test : cases) {
    std::string path = folder_.Write("engine", CodeSigned(kEngine, test.signer)).string();
    const platform::Result<std::string> name = VerifyFileCodeSignature(path.c_str());
    ASSERT_TRUE(name) << name.error().text;
    EXPECT_EQ(*name, test.name);
  }
}

TEST_F(CodeSignatureTest, FileSignedTwiceIsRefused) {
  std::string path = folder_.Write("engine", CodeSigned(CodeSigned(kEngine, "quillmark"), "quillmark")).string();
  EXPECT_EQ(VerifyCodeSignature(path.c_str()), IntegrityVerdict::kInvalid);
  const platform::Result<std::string> name = VerifyFileCodeSignature(path.c_str());
  EXPECT_FALSE(name);
  EXPECT_EQ(name.error().text, "2 code signatures, exactly one is accepted");
}

// Every byte that the signature covers or that locates it is checked: the content, the
// signature value (with no unsigned attributes it ends the CMS structure) and the block's
// descriptor and marker. The CMS structure also holds fields that no CMS signature covers
// (version numbers, the list of digest algorithms), which are not probed here.
TEST_F(CodeSignatureTest, ChangedContentSignatureOrLayoutIsRefused) {
  const std::string signed_file = CodeSigned(kEngine, "quillmark");
  ASSERT_EQ(VerifyCodeSignature(folder_.Write("engine", signed_file).string().c_str()), IntegrityVerdict::kValid);
  const size_t tail = 40;             // descriptor and marker
  const size_t signature_value = 64;  // the end of the ECDSA signature value
  std::vector<size_t> offsets;
  for (size_t at = 0; at < kEngine.size(); ++at) offsets.push_back(at);
  for (size_t at = signed_file.size() - tail - signature_value; at < signed_file.size(); ++at) {
    offsets.push_back(at);
  }
  for (size_t at : offsets) {
    std::string changed = signed_file;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    EXPECT_NE(VerifyCodeSignature(folder_.Write("engine", changed).string().c_str()), IntegrityVerdict::kValid)
        << "byte " << at << " of " << signed_file.size();
  }
}

TEST_F(CodeSignatureTest, UnsignedAndUnreadableFilesAreRefused) {
  EXPECT_EQ(VerifyCodeSignature(nullptr), IntegrityVerdict::kUnreadable);
  EXPECT_EQ(VerifyCodeSignature(folder_.Write("engine", kEngine).string().c_str()), IntegrityVerdict::kInvalid);
  EXPECT_EQ(VerifyCodeSignature((folder_.path() / "missing").string().c_str()), IntegrityVerdict::kInvalid);
  EXPECT_EQ(VerifyCodeSignature(folder_.path().string().c_str()), IntegrityVerdict::kInvalid);
  std::string marker_only = kEngine + std::string(12, '\0') + "~Module signature appended~\n";
  EXPECT_EQ(VerifyCodeSignature(folder_.Write("engine", marker_only).string().c_str()), IntegrityVerdict::kInvalid);
}

// The layout is that of signed kernel modules: a signature made by the openssl command and
// laid out by the test verifies.
TEST_F(CodeSignatureTest, SignatureMadeWithTheOpensslCommandVerifies) {
  std::string content = folder_.Write("content", kEngine).string();
  std::string der = (folder_.path() / "signature.der").string();
  ASSERT_TRUE(RunShell("openssl cms -sign -binary -noattr -md sha256 -outform DER -in " + content + " -signer " +
                       certificates_->Path("quillmark.pem") + " -inkey " + certificates_->Path("quillmark.key") +
                       " -out " + der));
  std::string signature = ReadFile(der);
  std::string descriptor(12, '\0');
  descriptor[2] = 2;  // PKEY_ID_PKCS7
  for (int i = 0; i < 4; ++i) {
    descriptor[8 + i] = static_cast<char>(signature.size() >> (8 * (3 - i)) & 0xFF);
  }
  std::string file = kEngine + signature + descriptor + "~Module signature appended~\n";
  EXPECT_EQ(VerifyCodeSignature(folder_.Write("engine", file).string().c_str()), IntegrityVerdict::kValid);
}

// ---- Validation order ----------------------------------------------------------------------

TEST_F(CodeSignatureTest, ValidationTakesTheTrailerFirstAndTheCodeSignatureOtherwise) {
  std::string broken_trailer = DevSigned(kEngine);
  broken_trailer[0] ^= 1;
  struct Case {
    const char* name;
    std::string bytes;
    IntegrityVerdict result;
  } cases[] = {
      {"valid trailer, no code signature", DevSigned(kEngine), IntegrityVerdict::kValid},
      {"no trailer, code signature", CodeSigned(kEngine, "quillmark"), IntegrityVerdict::kValid},
      {"broken trailer, code signature over it", CodeSigned(broken_trailer, "quillmark"), IntegrityVerdict::kValid},
      {"code signature, then a valid trailer", DevSigned(CodeSigned(kEngine, "quillmark")), IntegrityVerdict::kValid},
      {"code signature, then a broken trailer", CodeSigned(kEngine, "quillmark") + "junk", IntegrityVerdict::kInvalid},
      {"no trailer, wrong signer", CodeSigned(kEngine, "no_period"), IntegrityVerdict::kInvalid},
      {"neither", kEngine, IntegrityVerdict::kInvalid},
      {"empty file", "", IntegrityVerdict::kInvalid},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(ValidateEngineExecutable(folder_.Write("engine", test.bytes).string().c_str()), test.result);
  }
}

TEST_F(CodeSignatureTest, UnreadableEngineIsRefused) {
  EXPECT_EQ(ValidateEngineExecutable((folder_.path() / "missing").string().c_str()), IntegrityVerdict::kInvalid);
  EXPECT_EQ(ValidateEngineExecutable(folder_.path().string().c_str()), IntegrityVerdict::kInvalid);
  EXPECT_EQ(ValidateEngineExecutable(nullptr), IntegrityVerdict::kInvalid);
}

// A valid trailer needs no trust store at all.
TEST_F(CodeSignatureTest, ValidTrailerPassesWithoutATrustStore) {
  setenv("SSL_CERT_FILE", (folder_.path() / "none.pem").string().c_str(), 1);
  setenv("SSL_CERT_DIR", (folder_.path() / "none").string().c_str(), 1);
  EXPECT_EQ(ValidateEngineExecutable(folder_.Write("engine", DevSigned(kEngine)).string().c_str()),
            IntegrityVerdict::kValid);
  EXPECT_EQ(ValidateEngineExecutable(folder_.Write("engine", CodeSigned(kEngine, "quillmark")).string().c_str()),
            IntegrityVerdict::kInvalid);
}

// ---- vxrtool codesign / codeverify ---------------------------------------------------------

TEST_F(CodeSignatureTest, VxrtoolSignsAndShowsTheSigner) {
  std::string engine = CopyOfTrue(folder_, "engine");
  ProgramRun sign = RunVxrtool({"codesign", "--cert", certificates_->Path("quillmark.pem"), "--key",
                                certificates_->Path("quillmark.key"), engine});
  ASSERT_EQ(sign.exit_code, 0) << sign.errors;
  ProgramRun verify = RunVxrtool({"codeverify", engine});
  EXPECT_EQ(verify.exit_code, 0) << verify.errors;
  EXPECT_EQ(verify.output, engine + ": signed by \"Quillmark, Inc.\"\n");
  EXPECT_EQ(RunProgram(engine, {}).exit_code, 0) << "the signed executable still runs";
  EXPECT_EQ(ValidateEngineExecutable(engine.c_str()), IntegrityVerdict::kValid);

  std::string other = CopyOfTrue(folder_, "other");
  ASSERT_EQ(RunVxrtool({"codesign", "--cert", certificates_->Path("no_period.pem"), "--key",
                        certificates_->Path("no_period.key"), other})
                .exit_code,
            0);
  ProgramRun refused = RunVxrtool({"codeverify", other});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.output, other + ": signed by \"Quillmark, Inc\" (not the engine maker: refused)\n");
}

TEST_F(CodeSignatureTest, VxrtoolCodesignFailuresLeaveTheFileAlone) {
  std::string engine = folder_.Write("engine", kEngine).string();
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* message;
  } cases[] = {
      {{"codesign", "--key", certificates_->Path("quillmark.key"), engine}, 2, "no certificate given"},
      {{"codesign", "--cert", certificates_->Path("quillmark.pem"), engine}, 2, "no key given"},
      {{"codesign", "--cert", certificates_->Path("quillmark.pem"), "--key", certificates_->Path("no_period.key"),
        engine},
       1,
       "the key does not belong to the certificate"},
      {{"codesign", "--cert", certificates_->Path("quillmark.key"), "--key", certificates_->Path("quillmark.key"),
        engine},
       1,
       "no certificate in the certificate file"},
      {{"codeverify", engine}, 1, "no code signature"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    ProgramRun run = RunVxrtool(test.args);
    EXPECT_EQ(run.exit_code, test.exit_code);
    EXPECT_NE(run.errors.find(test.message), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(engine), kEngine);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), std::filesystem::directory_iterator()),
            1)
      << "no temporary file is left behind";
}

}  // namespace
