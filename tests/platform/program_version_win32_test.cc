// Our programs' version resources as the system reads them (GetFileVersionInfoW): the
// project's one version as file and product version, and the fields a file's properties show.
#include <gtest/gtest.h>

#include <string>

#include "platform/version_info.h"
#include "support/build_paths.h"
#include "testkve_version.h"

namespace {

std::string VersionText(uint32_t most, uint32_t least) {
  return std::to_string(most >> 16) + "." + std::to_string(most & 0xFFFF) + "." + std::to_string(least >> 16) + "." +
         std::to_string(least & 0xFFFF);
}

TEST(ProgramVersionTest, OurProgramsCarryTheProjectVersion) {
  struct Case {
    const char* program;
    const char* description_word;
  };
  const Case cases[] = {
      {"TestKVE", "harness"}, {"TestSrv", "service"}, {"vxrtool", "tool"}, {"testkve-compare", "comparison"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string path = BuiltProgram(c.program);
    const std::optional<VersionInfo> info = VersionInfo::ReadFromFile(path.c_str());
    ASSERT_TRUE(info.has_value()) << path << " carries no version resource";
    FixedFileInfo fixed;
    ASSERT_TRUE(info->QueryFixedFileInfo(&fixed));
    EXPECT_EQ(VersionText(fixed.file_version_ms, fixed.file_version_ls), kTestKVEVersion);
    EXPECT_EQ(VersionText(fixed.product_version_ms, fixed.product_version_ls), kTestKVEVersion);
    std::vector<VersionTranslation> translations;
    ASSERT_TRUE(info->QueryTranslations(&translations));
    EXPECT_EQ(translations.front().language, 0x0409);
    EXPECT_EQ(translations.front().code_page, 1200);
    const auto text = [&](const char* name) {
      std::string value;
      EXPECT_TRUE(info->QueryString(std::string("\\StringFileInfo\\040904B0\\") + name, &value)) << name;
      return value;
    };
    EXPECT_EQ(text("FileVersion"), kTestKVEVersion);
    EXPECT_EQ(text("ProductVersion"), kTestKVEVersion);
    EXPECT_EQ(text("ProductName"), "TestKVE");
    EXPECT_EQ(text("CompanyName"), "TestKVE");
    EXPECT_EQ(text("OriginalFilename"), std::string(c.program) + ".exe");
    EXPECT_NE(text("FileDescription").find(c.description_word), std::string::npos);
  }
}

}  // namespace
