// The service control manager: a service is created once with every parameter, read back as
// registered, and its start fails with the system's own error numbers.
#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "support/service_removal.h"

namespace {

using platform::Service;
using platform::ServiceManager;
using platform::ServiceParameters;

constexpr int kServiceExists = 1073;
constexpr int kFileNotFound = 2;

// A service of this test alone, removed before and after.
class WindowsServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveService(name_));
    platform::Error error;
    manager_ = ServiceManager::Open(platform::ServiceDatabaseFolder(), &error);
    ASSERT_NE(manager_, nullptr) << error.text;
  }
  void TearDown() override { EXPECT_TRUE(RemoveService(name_)); }

  ServiceParameters Parameters(const std::string& program) const {
    return {.name = name_,
            .display_name = name_,
            .desired_access = 0xF01FF,
            .service_type = 0x10,
            .start_type = 3,
            .error_control = 1,
            .program_path = program};
  }

  const std::string name_ =
      "TestKVE_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_service";
  std::unique_ptr<ServiceManager> manager_;
};

TEST_F(WindowsServiceManagerTest, CreatedOnceAndReadBackAsRegistered) {
  platform::Error error;
  EXPECT_EQ(manager_->OpenService(name_, &error), nullptr);
  EXPECT_EQ(error.kind, platform::ErrorKind::kNotFound);
  // A blank in the folder: registered so that no shorter program path can be taken for it.
  const std::string program = "C:\\test kve\\TestSrv.exe";
  ASSERT_NE(manager_->CreateService(Parameters(program), &error), nullptr) << error.text;
  EXPECT_EQ(manager_->CreateService(Parameters(program), &error), nullptr);
  EXPECT_EQ(error.kind, platform::ErrorKind::kExists);
  EXPECT_EQ(error.code, kServiceExists);
  std::unique_ptr<Service> service = manager_->OpenService(name_, &error);
  ASSERT_NE(service, nullptr) << error.text;
  const ServiceParameters& read = service->parameters();
  EXPECT_EQ(read.name, name_);
  EXPECT_EQ(read.display_name, name_);
  EXPECT_EQ(read.program_path, program);
  EXPECT_EQ(read.service_type, 0x10u);
  EXPECT_EQ(read.start_type, 3u);
  EXPECT_EQ(read.error_control, 1u);
  EXPECT_TRUE(read.dependencies.empty());
}

TEST_F(WindowsServiceManagerTest, AStartOfAMissingProgramFailsWithTheSystemsNumber) {
  platform::Error error;
  std::unique_ptr<Service> service = manager_->CreateService(Parameters("C:\\no such folder\\TestSrv.exe"), &error);
  ASSERT_NE(service, nullptr) << error.text;
  EXPECT_FALSE(service->Start({"C:\\", "TestKVE.exe", "/NH"}, &error));
  EXPECT_EQ(error.code, kFileNotFound);
  EXPECT_NE(error.text.find(name_), std::string::npos) << error.text;
}

}  // namespace
