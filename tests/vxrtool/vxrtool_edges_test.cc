// vxrtool where a careless run used to lose something: version set with nothing to set, on a
// signed file, on another user's or a hard-linked file; sign on a large sparse file; verify
// on a file that carries no signature.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"
#include "integrity/engine_validation.h"
#include "support/peak_memory.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"

namespace {

class VxrtoolEdgesTest : public testing::Test {
 protected:
  // An engine as the build makes it: version information, then the signature trailer.
  std::string SignedEngine(const std::string& name) {
    std::string engine = CopyOfTrue(folder_, name);
    EXPECT_EQ(RunVxrtool({"version", "set", "--file-version", "3.5.0.1", engine}).exit_code, 0);
    EXPECT_EQ(RunVxrtool({"sign", "--key", DevKeyPath(), engine}).exit_code, 0);
    return engine;
  }

  TempFolder folder_;
};

TEST_F(VxrtoolEdgesTest, VersionSetWithNothingToSetIsAUsageError) {
  std::string engine = SignedEngine("engine");
  const std::string before = ReadFile(engine);
  ProgramRun run = RunVxrtool({"version", "set", engine});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.errors.find("nothing to set"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("usage: vxrtool version set"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(engine), before);
}

// New version information in a signed file: the stale trailer goes, with a warning that says
// to sign again; with --key the file is signed again and passes the library's checks.
TEST_F(VxrtoolEdgesTest, VersionSetOnASignedFileWarnsOrSignsAgain) {
  std::string engine = SignedEngine("engine");
  ProgramRun run = RunVxrtool({"version", "set", "--special-build", "b2", engine});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.errors.find("vxrtool: warning: " + engine + " was signed"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("sign it again"), std::string::npos) << run.errors;
  EXPECT_EQ(RunVxrtool({"verify", engine}).output, engine + ": carries no signature\n");
  EXPECT_NE(RunVxrtool({"version", "show", engine}).output.find("build: b2\n"), std::string::npos);

  run = RunVxrtool(
      {"version", "set", "--file-version", "3.6.0.0", "--special-build", "b3", "--key", DevKeyPath(), engine});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(RunVxrtool({"verify", engine}).output, engine + ": signature valid\n");
  EXPECT_EQ(ValidateEngineExecutable(engine.c_str()), IntegrityVerdict::kValid);
  EngineVersionInfo info;
  EXPECT_EQ(CheckEngineVersion(engine.c_str(), &info), IntegrityVerdict::kValid);
  EXPECT_EQ(info.build, "b3");
  EXPECT_EQ(RunProgram(engine, {}).exit_code, 0);
}

TEST_F(VxrtoolEdgesTest, VerifySaysWhenAFileCarriesNoSignature) {
  const struct {
    std::string name;
    std::string content;
    const char* finding;
  } cases[] = {
      {"plain", "no trailer here\n", "carries no signature"},
      {"short", "ab", "carries no signature"},
      {"empty", "", "carries no signature"},
      {"damaged", DevSigned("abc").replace(0, 1, "X"), "signature invalid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = folder_.Write(c.name, c.content).string();
    ProgramRun run = RunVxrtool({"verify", file});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, file + ": " + c.finding + "\n");
    EXPECT_EQ(VerifyAppendedSignature(file.c_str()), 0) << "the library's verdict stays invalid";
  }
}

// The trailer is written after the file in place: a 96 MiB file with holes is signed with a
// few MiB of memory and stays sparse.
TEST_F(VxrtoolEdgesTest, SignStreamsTheFileWithBoundedMemory) {
  const std::filesystem::path file = folder_.path() / "sparse";
  {
    std::ofstream out(file, std::ios::binary);
    out << "content at the start";
  }
  std::filesystem::resize_file(file, 96u << 20);
  PeakMemoryRun run =
      RunForPeakMemory(BuiltProgram("vxrtool"), {"sign", "--key", DevKeyPath(), file.string()}, folder_.path());
  ASSERT_EQ(run.exit_code, 0);
  EXPECT_LT(run.peak_kib, 32 * 1024) << "peak " << run.peak_kib << " KiB for a 96 MiB file";
  struct stat status;
  ASSERT_EQ(stat(file.c_str(), &status), 0);
  EXPECT_LT(status.st_blocks * 512, 1 << 20) << "the holes were written out";
  EXPECT_EQ(VerifyAppendedSignature(file.c_str()), 1);
}

// A rewrite through a temporary file keeps the file's owner, group and mode (set-user-ID
// included), and says that other hard links keep the old content.
TEST_F(VxrtoolEdgesTest, RewritingKeepsOwnerGroupAndModeAndWarnsAboutHardLinks) {
  std::string engine = CopyOfTrue(folder_, "engine");
  const bool root = geteuid() == 0;
  const uid_t owner = root ? 65534 : geteuid();
  const gid_t group = root ? 65534 : getegid();
  ASSERT_EQ(chown(engine.c_str(), owner, group), 0);
  ASSERT_EQ(chmod(engine.c_str(), 04750), 0);
  const std::filesystem::path other = folder_.path() / "other name";
  std::filesystem::create_hard_link(engine, other);

  ProgramRun run = RunVxrtool({"version", "set", "--file-version", "3.5.0.1", engine});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.errors, "vxrtool: warning: " + engine + " has 1 other names (hard links); they keep the old content\n");
  struct stat status;
  ASSERT_EQ(stat(engine.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, owner);
  EXPECT_EQ(status.st_gid, group);
  EXPECT_EQ(status.st_mode & 07777, 04750u);
  EXPECT_EQ(status.st_nlink, 1u);
  EXPECT_NE(ReadFile(other), ReadFile(engine)) << "the other name keeps the old content";
}

// Every command that writes checks its inputs and loads its key before it writes: on any
// failure the file that was there is left exactly as it was.
TEST_F(VxrtoolEdgesTest, AFailedWriteLeavesTheOldFileAlone) {
  const std::string keep = SignedEngine("keep");
  const std::string names = folder_.Write("names.txt", "Virus.A\n").string();
  const std::string no_key = (folder_.path() / "no-such-key.pem").string();
  const std::string not_a_key = names;
  const std::vector<std::vector<std::string>> commands = {
      {"ptn", "build", "--version", "100", "--names", names, "--sign", no_key, "--out", keep},
      {"ptn", "build", "--version", "100", "--names", names, "--sign", not_a_key, "--out", keep},
      {"ptn", "build", "--version", "100", "--names", no_key, "--out", keep},
      {"ptn", "build", "--version", "x", "--names", names, "--out", keep},
      {"sign", "--key", no_key, keep},
      {"sign", "--key", not_a_key, keep},
      {"version", "set", "--file-version", "3.5.0.1", "--key", no_key, keep},
      {"version", "set", "--file-version", "three", keep},
      {"codesign", "--cert", no_key, "--key", DevKeyPath(), keep},
      {"codesign", "--cert", not_a_key, "--key", not_a_key, keep},
  };
  const std::string before = ReadFile(keep);
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0] + " " + command[1] + " ... " + command[command.size() - 2]);
    ProgramRun run = RunVxrtool(command);
    EXPECT_NE(0, run.exit_code) << run.output;
    EXPECT_NE("", run.errors);
    EXPECT_TRUE(before == ReadFile(keep)) << "the file was changed";
  }
  // keep and names.txt, and no temporary file.
  EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(folder_.path()), {}));
}

}  // namespace
