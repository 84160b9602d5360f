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
#include "platform/little_endian.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "support/wine.h"

namespace {

std::filesystem::path Fixture(const char* name) { return BuildBinDir().parent_path() / "code_signed" / name; }

// Under Windows a self-signed test root is untrusted unless someone trusted it; Wine does not
// check the root at all.
bool RootUntrusted(const platform::Error& error) { return error.text.find("trusted root") != std::string::npos; }

TEST(WindowsCodeSignatureTest, TheMakersSignatureIsAcceptedAndAnotherNameRefused) {
  const platform::Result<std::string> signer = VerifyFileCodeSignature(Fixture("maker.exe").string().c_str());
  if (!signer && RootUntrusted(signer.error())) {
    GTEST_SKIP() << "the test certificate is not trusted here: " << signer.error().text;
  }
  ASSERT_TRUE(signer) << signer.error().text;
  EXPECT_EQ("Quillmark, Inc.", *signer);
  EXPECT_EQ(IntegrityVerdict::kValid, ValidateEngineExecutable(Fixture("maker.exe").string().c_str()));

  const platform::Result<std::string> other = VerifyFileCodeSignature(Fixture("other.exe").string().c_str());
  ASSERT_TRUE(other) << other.error().text;
  EXPECT_EQ("Another Maker Ltd", *other);
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(Fixture("other.exe").string().c_str()));
}

TEST(WindowsCodeSignatureTest, AnUnsignedOrChangedFileIsRefused) {
  const platform::Result<std::string> unsigned_file = VerifyFileCodeSignature(BuiltProgram("vxr_ref").c_str());
  EXPECT_FALSE(unsigned_file);
  EXPECT_EQ("the file has no code signature", unsigned_file.error().text);
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
  const platform::Result<std::string> changed_file = VerifyFileCodeSignature(changed.string().c_str());
  EXPECT_FALSE(changed_file);
  EXPECT_FALSE(changed_file.error().text.empty());
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(changed.string().c_str()));
}

// Where a PE file's certificate table lies: the offset and size fields of its security
// directory entry (data directory 4), after the optional header's fixed part (96 bytes for a
// 32-bit program, 112 for a 64-bit one).
size_t SecurityDirectoryEntry(const std::string& image) {
  const size_t optional_header = LoadLittleEndian32(image.data() + 0x3C) + 24;
  const bool wide = LoadLittleEndian16(image.data() + optional_header) == 0x20B;
  return optional_header + (wide ? 112 : 96) + 4 * 8;
}

// The table's first certificate entry (its length rounded up to the 8 bytes entries align to).
std::string FirstCertificateEntry(const std::string& image) {
  const uint32_t table = LoadLittleEndian32(image.data() + SecurityDirectoryEntry(image));
  const uint32_t length = LoadLittleEndian32(image.data() + table);
  return image.substr(table, (length + 7) / 8 * 8);
}

// `image` with `entry` appended to its certificate table, which ends the file, as a second entry.
std::string WithSecondEntry(std::string image, const std::string& entry) {
  const size_t directory = SecurityDirectoryEntry(image);
  const uint32_t table = LoadLittleEndian32(image.data() + directory);
  const uint32_t size = LoadLittleEndian32(image.data() + directory + 4);
  EXPECT_EQ(image.size(), table + size) << "the certificate table does not end the file";
  StoreLittleEndian(image.data() + directory + 4, size + entry.size(), 4);
  return image + entry;
}

// Both entries verify on their own; WinVerifyTrust looks at the first one only, and the second
// could carry anything.
TEST(WindowsCodeSignatureTest, AFileWithTwoCertificateEntriesIsRefused) {
  TempFolder folder;
  const std::filesystem::path two = folder.path() / "two.exe";
  std::ofstream(two, std::ios::binary) << WithSecondEntry(ReadFile(Fixture("maker.exe")),
                                                          FirstCertificateEntry(ReadFile(Fixture("other.exe"))));
  const platform::Result<std::string> signer = VerifyFileCodeSignature(two.string().c_str());
  EXPECT_FALSE(signer);
  EXPECT_EQ("2 code signatures, exactly one is accepted", signer.error().text);
  EXPECT_EQ(IntegrityVerdict::kInvalid, ValidateEngineExecutable(two.string().c_str()));
}

TEST(WindowsCodeSignatureTest, AMissingFileIsNamed) {
  const platform::Result<std::string> signer = VerifyFileCodeSignature("no-such-engine.exe");
  EXPECT_FALSE(signer);
  EXPECT_NE(std::string::npos, signer.error().text.find("cannot open no-such-engine.exe")) << signer.error().text;
}

}  // namespace
