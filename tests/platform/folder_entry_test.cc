// File names in the engine and pattern folders: the exact name first, else the one entry that
// differs only in ASCII case.
#include "platform/folder_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

TEST(FolderEntryTest, ResolvesAMissingNameIgnoringAsciiCase) {
  const struct {
    const char* name;
    std::vector<std::string> entries;  // files in the folder
    std::string asked;
    std::string opened;  // the name the returned path ends in
  } cases[] = {
      {"the exact name", {"vxr.ptn"}, "vxr.ptn", "vxr.ptn"},
      {"one entry in another case", {"QLVAMain.ptn"}, "QLVAmain.ptn", "QLVAMain.ptn"},
      {"upper case asked", {"vxr.exe"}, "VXR.EXE", "vxr.exe"},
      {"the exact name beside another case", {"QLVAMain.ptn", "QLVAmain.ptn"}, "QLVAmain.ptn", "QLVAmain.ptn"},
      {"two entries in other cases: only the exact name counts", {"VXR.INI", "vxr.ini"}, "Vxr.Ini", "Vxr.Ini"},
      {"no match", {"other.ptn"}, "vxr.ptn", "vxr.ptn"},
      {"same length, other letters", {"vxr.ptm"}, "vxr.ptn", "vxr.ptn"},
      {"a longer entry", {"vxr.ptn.bak"}, "vxr.ptn", "vxr.ptn"},
      {"letters beyond ASCII do not fold", {"\xC3\xA9.ptn"}, "\xC3\x89.ptn", "\xC3\x89.ptn"},
      {"a folder of the name", {"PATTERNS/"}, "patterns", "PATTERNS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    for (const std::string& entry : c.entries) {
      if (entry.ends_with('/')) {
        std::filesystem::create_directory(folder.path() / entry);
      } else {
        folder.Write(entry, "x");
      }
    }
    EXPECT_EQ(platform::ResolveEntryIgnoringCase(folder.str() + "/" + c.asked), folder.str() + "/" + c.opened);
  }
}

TEST(FolderEntryTest, PathsWithoutAFolderToList) {
  EXPECT_EQ(platform::ResolveEntryIgnoringCase("/nonexistent-testkve/VXR.INI"), "/nonexistent-testkve/VXR.INI");
  EXPECT_EQ(platform::ResolveEntryIgnoringCase("/nonexistent-testkve/"), "/nonexistent-testkve/");
  EXPECT_EQ(platform::ResolveEntryIgnoringCase(""), "");
  const std::filesystem::path before = std::filesystem::current_path();
  TempFolder folder;
  folder.Write("Relative.PTN", "x");
  std::filesystem::current_path(folder.path());
  EXPECT_EQ(platform::ResolveEntryIgnoringCase("relative.ptn"), "Relative.PTN");
  std::filesystem::current_path(before);
}

}  // namespace
