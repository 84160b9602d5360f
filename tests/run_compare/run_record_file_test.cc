// Reading /JSON records back: one engine's runs, the pairs of an /AB record, and a clear error
// naming the line for everything that is not a record of the harness.
#include "run_compare/run_record_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace compare {
namespace {

constexpr char kRun[] = R"({"record":"run","harness":"TestKVE","engine":{"path":"./vxr.exe"}})";
constexpr char kAbRun[] =
    R"({"record":"run","harness":"TestKVE","engine":{"path":"./vxr.exe"},"engine_b":{"path":"b/vxr.exe"}})";

std::string Pass(int result, double wall, const std::string& side = "", int pair = 0) {
  std::string line = R"({"record":"pass","pass":1,"result":)" + std::to_string(result) + R"(,"result_name":"R)" +
                     std::to_string(result) + R"(","timed_out":false,"wall_ms":)" + std::to_string(wall) +
                     R"(,"user_ms":1,"system_ms":0.5,"peak_kib":2048)";
  if (!side.empty()) line += R"(,"side":")" + side + R"(","pair":)" + std::to_string(pair);
  return line + "}";
}

std::optional<RecordedRuns> Read(const TempFolder& folder, const std::string& content, std::string* error) {
  return ReadRunRecord(folder.Write("r.jsonl", content).string(), error);
}

TEST(RunRecordFileTest, ReadsOneEnginesRuns) {
  TempFolder folder;
  std::string error;
  const auto runs = Read(
      folder, std::string(kRun) + "\n" + Pass(0, 5) + "\n" + Pass(-93, 7) + "\n{\"record\":\"summary\",\"passes\":2}\n",
      &error);
  ASSERT_TRUE(runs) << error;
  EXPECT_FALSE(runs->ab);
  EXPECT_EQ("./vxr.exe", runs->a.label);
  EXPECT_EQ((std::vector<double>{5, 7}), runs->a.wall_ms);
  EXPECT_EQ((std::vector<bool>{false, true}), runs->a.failed);
  EXPECT_EQ((std::vector<std::string>{"R0", "R-93"}), runs->a.results);
  EXPECT_EQ((std::vector<double>{2048, 2048}), runs->a.peak_kib);
}

TEST(RunRecordFileTest, PairsTheSidesOfAnAbRecordAndDropsACutPair) {
  TempFolder folder;
  std::string error;
  const auto runs = Read(folder,
                         std::string(kAbRun) + "\n" + Pass(0, 1, "A", 1) + "\n" + Pass(0, 2, "B", 1) + "\n" +
                             Pass(0, 4, "B", 2) + "\n" + Pass(0, 3, "A", 2) + "\n" + Pass(0, 5, "A", 3) + "\n",
                         &error);
  ASSERT_TRUE(runs) << error;
  EXPECT_TRUE(runs->ab);
  EXPECT_EQ("b/vxr.exe", runs->b.label);
  EXPECT_EQ((std::vector<double>{1, 3}), runs->a.wall_ms);
  EXPECT_EQ((std::vector<double>{2, 4}), runs->b.wall_ms);
}

TEST(RunRecordFileTest, NamesTheLineThatIsNoRecord) {
  const std::string pass = Pass(0, 5);
  std::string old_pass = pass;
  old_pass.erase(old_pass.find(R"(,"user_ms":1)"), 12);
  struct Case {
    std::string content;
    std::string error;
  };
  const Case cases[] = {
      {"", ": empty, not a /JSON record"},
      {"not json\n", ":1: not a record of the harness (a damaged line?)"},
      {pass + "\n", ":1: the first line is not the run record of a TestKVE /JSON record"},
      {std::string(kRun) + "\n" + pass.substr(0, 40) + "\n", ":2: not a record of the harness (a damaged line?)"},
      {std::string(kRun) + "\n" + pass + "\n" + pass.substr(0, 60),
       ":3: not a record of the harness (a damaged line?)"},
      {std::string(kRun) + "\n" + old_pass + "\n",
       ":2: pass record without \"user_ms\" (written by an older harness?)"},
      {std::string(kRun) + "\n\n", ":2: not a record of the harness (a damaged line?)"},
      {std::string(kRun) + "\n{\"record\":\"pause\"}\n", ":2: unknown record \"pause\""},
      {std::string(kRun) + "\n" + Pass(0, 1, "A", 1) + "\n", ":2: a pass with a side in a record without /AB"},
      {std::string(kAbRun) + "\n" + pass + "\n", ":2: a pass without its side in an /AB record"},
      {std::string(kAbRun) + "\n" + Pass(0, 1, "A", 1) + "\n" + Pass(0, 1, "A", 1) + "\n",
       ":3: pair 1 has side A twice"},
      {std::string(kRun) + "\n" + Pass(0, -1) + "\n", ":2: \"wall_ms\" is not a figure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(Read(folder, c.content, &error));
    EXPECT_EQ((folder.path() / "r.jsonl").string() + c.error, error);
  }
}

}  // namespace
}  // namespace compare
