// The code signature on Windows: WinVerifyTrust over Authenticode-signed copies of the reference
// engine (made by the build with osslsigncode, tests/windows/make_code_signed_fixtures.sh), and
// the engine check that falls back to it when a file has no appended signature.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "integrity/engine_validation.h"
#include "platform/code_signature.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"
#include "support/wine.h"

namespace {

std::filesystem::path Fixture(const char* name) { return BuildBinDir().parent_path() / "code_signed" / name; }

// Under Windows a self-signed test root is untrusted unless someone trusted it; Wine does not
// check the root at all.
bool RootUntrusted(const std::string& error) { return error.find("trusted root") != std::string::npos; }

TEST(WindowsCodeSignatureTest, TheMakersSignatureIsAcceptedAndAnotherNameRefused) {
  std::string signer;
  std::string error;
  const bool verified = VerifyFileCodeSignature(Fixture("maker.exe").string().c_str(), &signer, &error);
  if (!verified && RootUntrusted(error)) GTEST_SKIP() << "the test certificate is not trusted here: " << error;
  ASSERT_TRUE(verified) << error;
  EXPECT_EQ("Quillmark, Inc.", signer);
  EXPECT_EQ(IntegrityVerdict::kValid, ValidateEngineExecutable(Fixture("maker.exe").string().c_str()));

  signer.clear();
  ASSERT_TRUE(VerifyFileCodeSignature(Fixture("other.exe").string().c_str(), &signer, &error)) << error;
  EXPECT_EQ("Another Maker Ltd", signer);
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(Fixture("other.exe").string().c_str()));
}

TEST(WindowsCodeSignatureTest, AnUnsignedOrChangedFileIsRefused) {
  std::string signer;
  std::string error;
  EXPECT_FALSE(VerifyFileCodeSignature(BuiltProgram("vxr_ref").c_str(), &signer, &error));
  EXPECT_EQ("the file has no code signature", error);
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(BuiltProgram("vxr_ref").c_str()));

  TempFolder folder;
  const std::filesystem::path changed = folder.path() / "changed.exe";
  std::filesystem::copy_file(Fixture("maker.exe"), changed);
  {
    std::fstream file(changed, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(4096);
    const char byte = static_cast<char>(file.get());
    file.seekp(4096);
    file.put(static_cast<char>(byte ^ 0x20));
  }
  error.clear();
  EXPECT_FALSE(VerifyFileCodeSignature(changed.string().c_str(), &signer, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(changed.string().c_str()));
}

TEST(WindowsCodeSignatureTest, AMissingFileIsNamed) {
  std::string signer;
  std::string error;
  EXPECT_FALSE(VerifyFileCodeSignature("no-such-engine.exe", &signer, &error));
  EXPECT_NE(std::string::npos, error.find("cannot open no-such-engine.exe")) << error;
}

}  // namespace
