// vxrtool as users and the build run it: signing, verifying and version information.
#include <gtest/gtest.h>

#include <string>

#include "integrity/appended_signature.h"
#include "integrity/engine_validation.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"
#include "testkve_version.h"

namespace {

const std::string kPublicKey = TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key_public.pem";

class VxrtoolTest : public testing::Test {
 protected:
  TempFolder folder_;
};

// The trailer is plain RSA/MD5 PKCS #1 v1.5, not a convention of vxrtool: the openssl command
// verifies what vxrtool signs, and vxrtool verifies what the openssl command signs.
TEST_F(VxrtoolTest, SignaturesAgreeWithTheOpensslCommand) {
  const std::string content = "content signed by vxrtool\n";
  std::string file = folder_.Write("signed", content).string();
  ASSERT_EQ(RunVxrtool({"sign", "--key", DevKeyPath(), file}).exit_code, 0);
  std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), content.size() + 65 + 4);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x41\0\0\0", 4));
  std::string content_file = folder_.Write("content", bytes.substr(0, content.size())).string();
  std::string signature_file = folder_.Write("signature", bytes.substr(content.size(), 65)).string();
  EXPECT_TRUE(RunShell("openssl dgst -md5 -verify " + kPublicKey + " -signature " + signature_file + " " +
                       content_file + " >/dev/null"));

  std::string outside = folder_.Write("outside", "content signed by the openssl command\n").string();
  std::string outside_signature = (folder_.path() / "outside.sig").string();
  ASSERT_TRUE(RunShell("openssl dgst -md5 -sign " + DevKeyPath() + " -out " + outside_signature + " " + outside));
  std::string signature = ReadFile(outside_signature);
  std::string with_trailer = ReadFile(outside) + signature;
  with_trailer.append({static_cast<char>(signature.size()), '\0', '\0', '\0'});
  std::string outside_signed = folder_.Write("outside.signed", with_trailer).string();
  EXPECT_EQ(VerifyAppendedSignature(outside_signed.c_str()), 1);
  ProgramRun verify = RunVxrtool({"verify", outside_signed});
  EXPECT_EQ(verify.exit_code, 0);
  EXPECT_EQ(verify.output, outside_signed + ": signature valid\n");
}

TEST_F(VxrtoolTest, VerifyReportsTheVerdict) {
  std::string valid = folder_.Write("valid", DevSigned("abc")).string();
  std::string changed_bytes = DevSigned("abc");
  changed_bytes[1] = 'B';
  std::string changed = folder_.Write("changed", changed_bytes).string();
  std::string missing = (folder_.path() / "missing").string();
  struct Case {
    std::string file;
    int exit_code;
    std::string output;
    std::string errors;
  } cases[] = {
      {valid, 0, valid + ": signature valid\n", ""},
      {changed, 1, changed + ": signature invalid\n", ""},
      {missing, 1, "", "vxrtool: cannot read " + missing + "\n"},
      {folder_.path().string(), 1, "", "vxrtool: cannot read " + folder_.path().string() + "\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.file);
    ProgramRun run = RunVxrtool({"verify", test.file});
    EXPECT_EQ(run.exit_code, test.exit_code);
    EXPECT_EQ(run.output, test.output);
    EXPECT_EQ(run.errors, test.errors);
  }
}

TEST_F(VxrtoolTest, WrongUsageIsRefusedWithAMessage) {
  std::string file = folder_.Write("file", "content").string();
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "usage: vxrtool COMMAND"},
      {{"frobnicate", file}, "unknown command frobnicate"},
      {{"sign", file}, "no key given"},
      {{"sign", "--key"}, "option --key needs a value"},
      {{"sign", "--key", DevKeyPath()}, "no file given"},
      {{"sign", "--color", "red", file}, "unknown option --color"},
      {{"verify", file, file}, "more than one file given"},
      {{"version", file}, "unknown version action"},
      {{"version", "set", "--file-version", "3.x", file}, "bad file version 3.x"},
      {{"version", "set", "--file-version", "3.5.0.1.2", file}, "bad file version"},
      {{"version", "set", "--file-version", "70000.1", file}, "bad file version"},
      {{"version", "set", "--translation", "0409-04B0", file}, "bad translation 0409-04B0"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    ProgramRun run = RunVxrtool(test.args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.errors.find(test.message), std::string::npos) << run.errors;
    EXPECT_EQ(run.output, "");
  }
  EXPECT_EQ(ReadFile(file), "content");
}

// Help asked for is an answer: usage on standard output and exit status 0, the whole usage or
// the part of the command (and action) named; after "--" a "--help" is a file name.
TEST(VxrtoolHelpTest, HelpGoesToStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> shown;
    std::vector<std::string> not_shown;
  } cases[] = {
      {{"--help"}, {"  sign --key", "  ptn info FILE", "--version"}, {}},
      {{"-h"}, {"  sign --key", "  version show FILE"}, {}},
      {{"help"}, {"  codeverify FILE"}, {}},
      {{"sign", "--help"}, {"  sign --key KEY.pem FILE"}, {"verify", "ptn"}},
      {{"codesign", "file", "-h"}, {"  codesign --cert CERT.pem --key KEY.pem FILE"}, {"codeverify"}},
      {{"version", "--help"}, {"  version set", "  version show FILE"}, {"ptn"}},
      {{"version", "set", "--file-version", "3.5", "--help"}, {"  version set", "--translation"}, {"version show"}},
      {{"ptn", "build", "-h"}, {"  ptn build --version N"}, {"ptn list", "ptn find"}},
      {{"ptn", "find", "x.ptn", "NAME", "--help"}, {"  ptn find FILE NAME..."}, {"ptn build"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::PrintToString(test.args));
    ProgramRun run = RunVxrtool(test.args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(run.output.starts_with("usage: vxrtool COMMAND [options] FILE\n")) << run.output;
    for (const std::string& text : test.shown) EXPECT_NE(run.output.find(text), std::string::npos) << text;
    for (const std::string& text : test.not_shown) EXPECT_EQ(run.output.find(text), std::string::npos) << text;
  }
}

TEST(VxrtoolHelpTest, VersionIsTheBuildsVersion) {
  ProgramRun run = RunVxrtool({"--version"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, std::string("vxrtool (TestKVE) ") + kTestKVEVersion + "\n");
  EXPECT_EQ(run.errors, "");
}

TEST_F(VxrtoolTest, HelpAfterTheEndOfOptionsIsAFileName) {
  ProgramRun run = RunVxrtool({"verify", "--", "--help"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errors, "vxrtool: cannot read --help\n");
}

TEST_F(VxrtoolTest, FailuresLeaveTheFileAsItWas) {
  std::string file = folder_.Write("file", "content").string();
  std::string not_a_key = folder_.Write("key.pem", "not a key").string();
  std::string ec_key = (folder_.path() / "ec.pem").string();
  ASSERT_TRUE(
      RunShell("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out " + ec_key + " 2>/dev/null"));
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"sign", "--key", not_a_key, file}, "no RSA private key in"},
      {{"sign", "--key", ec_key, file}, "no RSA private key in"},
      {{"sign", "--key", (folder_.path() / "none.pem").string(), file}, "cannot open"},
      {{"version", "set", "--file-version", "3.5.0.1", file}, "not an ELF file"},
      {{"version", "show", file}, "no version information"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    ProgramRun run = RunVxrtool(test.args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.errors.find(test.message), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(file), "content");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), std::filesystem::directory_iterator()),
            3)
      << "no temporary file is left behind";
}

// A rewritten file keeps its permissions; a symbolic link keeps pointing at the file, which
// is the one that gets signed.
TEST_F(VxrtoolTest, SigningReplacesTheFileBehindALinkAndKeepsItsMode) {
  std::string file = folder_.Write("file", "content").string();
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                         std::filesystem::perms::group_read);
  std::filesystem::path link = folder_.path() / "link";
  std::filesystem::create_symlink(file, link);
  ASSERT_EQ(RunVxrtool({"sign", "--key", DevKeyPath(), link.string()}).exit_code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(VerifyAppendedSignature(file.c_str()), 1);
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_exec |
                                                             std::filesystem::perms::group_read);
}

// The way the build lays out an engine: version information first, then the signature. The
// result runs, passes the library's checks and shows its texts.
TEST_F(VxrtoolTest, EngineMadeByVxrtoolPassesTheLibraryChecks) {
  std::string engine = CopyOfTrue(folder_, "engine");
  ASSERT_EQ(
      RunVxrtool({"version", "set", "--file-version", "3.5.0.1", "--special-build", "QA build 7", engine}).exit_code,
      0);
  ASSERT_EQ(RunVxrtool({"sign", "--key", DevKeyPath(), engine}).exit_code, 0);
  EXPECT_EQ(RunProgram(engine, {}).exit_code, 0);
  EXPECT_EQ(ValidateEngineExecutable(engine.c_str()), IntegrityVerdict::kValid);
  EngineVersionInfo info;
  EXPECT_EQ(CheckEngineVersion(engine.c_str(), &info), IntegrityVerdict::kValid);
  EXPECT_EQ(info.version, "3.5");
  EXPECT_EQ(info.build, "QA build 7");
  ProgramRun show = RunVxrtool({"version", "show", engine});
  EXPECT_EQ(show.exit_code, 0);
  EXPECT_EQ(show.output,
            "file version: 3.5.0.1\n"
            "translations: 0409:04B0\n"
            "version: 3.5\n"
            "build: QA build 7\n"
            "accepted: yes\n");
  ProgramRun verify = RunVxrtool({"verify", engine});
  EXPECT_EQ(verify.exit_code, 0);
}

TEST_F(VxrtoolTest, VersionSetWritesEveryTranslationAndTheFirstOneCounts) {
  std::string engine = CopyOfTrue(folder_, "engine");
  ASSERT_EQ(RunVxrtool({"version", "set", "--file-version", "3.10", "--special-build", "erste", "--translation",
                        "0407:04E4", "--translation", "409:4b0", engine})
                .exit_code,
            0);
  ProgramRun show = RunVxrtool({"version", "show", engine});
  EXPECT_EQ(show.output,
            "file version: 3.10.0.0\n"
            "translations: 0407:04E4 0409:04B0\n"
            "version: 3.10\n"
            "build: erste\n"
            "accepted: no (older than 3.5)\n");

  ASSERT_EQ(RunVxrtool({"version", "set", "--special-build", "no numbers", engine}).exit_code, 0);
  show = RunVxrtool({"version", "show", engine});
  EXPECT_EQ(show.output,
            "file version: (no fixed part)\n"
            "translations: 0409:04B0\n"
            "version: \n"
            "build: no numbers\n"
            "accepted: no (older than 3.5)\n");
}

}  // namespace
