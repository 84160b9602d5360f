// Files written whole beside their target: a temporary name that another process could make in
// advance is never in the way.
#include "platform/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

// The names a process ID would give: "<target>.tmp-<pid>" and "<target>.tmp-<pid>-<n>", made
// before the replace, each a file of other content.
TEST(ReplaceFileAtomicallyTest, TemporaryNamesMadeInAdvanceAreNotTaken) {
  TempFolder folder;
  const std::string target = (folder.path() / "run.xml").string();
  const std::string pid = std::to_string(platform::CurrentProcessId());
  std::vector<std::string> planted = {"run.xml.tmp-" + pid};
  for (int n = 0; n < 10; ++n) planted.push_back("run.xml.tmp-" + pid + "-" + std::to_string(n));
  for (const std::string& name : planted) folder.Write(name, "planted");

  platform::Error error;
  ASSERT_TRUE(ReplaceFileAtomically(target, "first", LinkRule::kRefuse, &error)) << error.text;
  ASSERT_TRUE(ReplaceFileAtomically(target, "second", LinkRule::kRefuse, &error)) << error.text;
  EXPECT_EQ("second", ReadFile(target));
  for (const std::string& name : planted) EXPECT_EQ("planted", ReadFile(folder.path() / name)) << name;
  EXPECT_EQ(planted.size() + 1, static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder.path()),
                                                                  std::filesystem::directory_iterator())));
}

}  // namespace
