#include "engine_sdk/engine_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_control/launch_fixtures.h"
#include "platform/process.h"
#include "settings_block/settings_block.h"
#include "vxr_lib.h"

namespace {

using engine_sdk::BlockLocation;
using engine_sdk::ReadStatus;

TEST(FindBlockLocationTest, TakesTheTwoNumbersAndRefusesAnythingElse) {
  struct Case {
    std::vector<const char*> arguments;
    bool found;
    uint32_t handle;
    uint32_t process_id;
  } cases[] = {
      {{"/SMH=124", "/PI=2048"}, true, 124, 2048},
      {{"/PI=2048", "/other", "/SMH=124"}, true, 124, 2048},
      {{"-smh=4294967295", "-pi=1"}, true, 4294967295u, 1},
      {{"/SMH=124"}, false, 0, 0},
      {{"/PI=2048"}, false, 0, 0},
      {{}, false, 0, 0},
      {{"/SMH=124", "/SMH=125", "/PI=1"}, false, 0, 0},
      {{"/SMH=", "/PI=1"}, false, 0, 0},
      {{"/SMH=12a", "/PI=1"}, false, 0, 0},
      {{"/SMH=-1", "/PI=1"}, false, 0, 0},
      {{"/SMH=+1", "/PI=1"}, false, 0, 0},
      {{"/SMH=4294967296", "/PI=1"}, false, 0, 0},
      {{"/SMH 1", "/PI=1"}, false, 0, 0},
      {{"/SMHX=1", "/PI=1"}, false, 0, 0},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const char* argument : c.arguments) trace += std::string(argument) + " ";
    SCOPED_TRACE(trace);
    std::string error;
    std::optional<BlockLocation> location = engine_sdk::FindBlockLocation(c.arguments, &error);
    ASSERT_EQ(c.found, location.has_value()) << error;
    if (!c.found) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(c.handle, location->handle);
    EXPECT_EQ(c.process_id, location->process_id);
  }
}

TEST(ReadEngineSettingsTest, TellsAttachFailuresFromBadBlocksAndReleasesTheBlock) {
  SharedBlock block;
  RecordList records;
  records.Value(VXR_INT_EXECUTE_MODE, RESTORE_ONLY).Terminate();
  ASSERT_TRUE(block.Create(12 + records.data_size()));
  block.OpenForWriting();
  for (const auto& record : records.records()) ASSERT_TRUE(block.Append(*record));
  block.Finish();
  const BlockLocation location{block.Handle(), platform::CurrentProcessId()};
  const std::vector<int> before = platform::OpenHandleNumbers();

  std::vector<engine_sdk::EngineSetting> settings;
  std::string error;
  ASSERT_EQ(ReadStatus::kOk, engine_sdk::ReadEngineSettings(location, &settings, &error));
  ASSERT_EQ(1u, settings.size());
  EXPECT_EQ(RESTORE_ONLY, settings[0].value);
  EXPECT_EQ(before, platform::OpenHandleNumbers());

  EXPECT_EQ(ReadStatus::kCannotAttach,
            engine_sdk::ReadEngineSettings({999999, location.process_id}, &settings, &error));
  EXPECT_TRUE(settings.empty());
  block.bytes()[SharedBlock::kHeaderSize] ^= std::byte{0x40};
  EXPECT_EQ(ReadStatus::kBadBlock, engine_sdk::ReadEngineSettings(location, &settings, &error));
  EXPECT_NE(std::string::npos, error.find("checksum")) << error;
  EXPECT_EQ(before, platform::OpenHandleNumbers());
}

}  // namespace
