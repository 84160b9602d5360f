// A service program under the service control manager: it gets the start arguments, its output
// lands in the log beside it, and the manager sees it stopped with the work's exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/service_manager.h"
#include "support/build_paths.h"
#include "support/service_removal.h"
#include "support/text.h"

namespace {

TEST(WindowsServiceProgramTest, RunsWithTheStartArgumentsAndStopsWithTheExitStatus) {
  // The name the probe serves as: Wine finds the program's ServiceMain by the service's name.
  const std::string name = "ServiceProbe";
  ASSERT_TRUE(RemoveService(name));
  platform::Error error;
  std::unique_ptr<platform::ServiceManager> manager = platform::ServiceManager::Open({}, &error);
  ASSERT_NE(manager, nullptr) << error.text;
  std::unique_ptr<platform::Service> service =
      manager->CreateService({.name = name,
                              .display_name = name,
                              .desired_access = 0xF01FF,
                              .service_type = 0x10,
                              .start_type = 3,
                              .error_control = 1,
                              .program_path = (BuildBinDir() / ExecutableName("service_probe")).string()},
                             &error);
  ASSERT_NE(service, nullptr) << error.text;
  const std::filesystem::path log = BuildBinDir() / (name + ".log");
  std::filesystem::remove(log);
  // The probe works only once the start has been answered.
  const ServiceProbeRelease release;
  ASSERT_TRUE(release.made());
  ASSERT_TRUE(service->Start({"C:\\a folder", "TestKVE.exe", "/NH /RUN=2"}, &error)) << error.text;
  release.Release();
  // 3: the work had the start arguments, and the manager has its exit status.
  EXPECT_EQ(WaitForServiceStop(name), 3);
  // A service has no standard streams of its own: its output went to the log.
  EXPECT_EQ("probe: [C:\\a folder] [TestKVE.exe] [/NH /RUN=2]\r\n", ReadFile(log));
  EXPECT_TRUE(RemoveService(name));
}

}  // namespace
