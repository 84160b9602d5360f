// Service parameters with every field set, and their comparison, for the service record and
// service manager tests.
#pragma once

#include <gtest/gtest.h>

#include "platform/service_manager.h"

inline platform::ServiceParameters FullParameters() {
  platform::ServiceParameters p;
  p.name = "TestSrv";
  p.display_name = "Test service";
  p.desired_access = 0xF01FF;
  p.service_type = 0x10;
  p.start_type = 3;
  p.error_control = 1;
  p.program_path = "/opt/srv/TestSrv.exe";
  p.load_order_group = "Group";
  p.wants_tag = true;
  p.dependencies = {"Net", "Disk"};
  p.password = "secret";
  return p;
}

inline void ExpectSame(const platform::ServiceParameters& a, const platform::ServiceParameters& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.display_name, b.display_name);
  EXPECT_EQ(a.desired_access, b.desired_access);
  EXPECT_EQ(a.service_type, b.service_type);
  EXPECT_EQ(a.start_type, b.start_type);
  EXPECT_EQ(a.error_control, b.error_control);
  EXPECT_EQ(a.program_path, b.program_path);
  EXPECT_EQ(a.load_order_group, b.load_order_group);
  EXPECT_EQ(a.wants_tag, b.wants_tag);
  EXPECT_EQ(a.dependencies, b.dependencies);
  EXPECT_EQ(a.account, b.account);
  EXPECT_EQ(a.password, b.password);
}
