// Who may change the program a LocalSystem service runs: the decision over security
// descriptors as Windows gives them (made here from their SDDL text, since Wine's files carry
// only what their Unix modes say), and the check of a real file under Wine.
#include "platform/win32/service_manager/write_access.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "support/temp_folder.h"

namespace {

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

LocalMemory Descriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
      << GetLastError();
  return LocalMemory(descriptor);
}

LocalMemory Sid(const wchar_t* text) {
  PSID sid = nullptr;
  EXPECT_TRUE(ConvertStringSidToSidW(text, &sid));
  return LocalMemory(sid);
}

constexpr wchar_t kCaller[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

TEST(WriteAccessTest, OnlySystemAdministratorsTrustedInstallerAndTheCallerMayChangeIt) {
  struct Case {
    const char* what;
    const wchar_t* sddl;
    const char* writer;  // a part of the answer naming who else may change it; null: no one
  };
  const Case cases[] = {
      {"installed under Program Files",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"
       L"(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;OICIIO;GA;;;CO)",
       nullptr},
      {"made by the calling administrator",
       L"O:S-1-5-21-1004336348-1177238915-682003330-1001D:(A;;FA;;;SY)"
       L"(A;;FA;;;S-1-5-21-1004336348-1177238915-682003330-1001)",
       nullptr},
      {"a folder made under C:\\ with default rights",
       L"O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;AU)(A;;0x1200a9;;;BU)", "S-1-5-11"},
      {"another user's profile folder",
       L"O:S-1-5-21-1004336348-1177238915-682003330-1002D:(A;;FA;;;SY)(A;;FA;;;BA)"
       L"(A;;FA;;;S-1-5-21-1004336348-1177238915-682003330-1002)",
       "S-1-5-21-1004336348-1177238915-682003330-1002, its owner"},
      {"users may add files", L"O:BAD:(A;;FA;;;SY)(A;;0x100002;;;BU)", "S-1-5-32-545"},
      {"users may add folders", L"O:BAD:(A;;FA;;;SY)(A;;0x100004;;;BU)", "S-1-5-32-545"},
      {"everyone may change its permissions", L"O:BAD:(A;;0x40000;;;WD)", "S-1-1-0"},
      {"everyone may write (generic)", L"O:BAD:(A;;GW;;;WD)", "S-1-1-0"},
      {"an entry only inherited by what lies inside", L"O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;BU)", nullptr},
      {"users may only read and run it", L"O:BAD:(A;;FA;;;SY)(A;;0x1200a9;;;BU)", nullptr},
      {"a denial does not weigh against an allowance", L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BU)", "S-1-5-32-545"},
  };
  const LocalMemory caller = Sid(kCaller);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LocalMemory descriptor = Descriptor(c.sddl);
    ASSERT_NE(descriptor, nullptr);
    const std::optional<std::string> writer = platform::win32::UntrustedWriter(descriptor.get(), caller.get());
    if (c.writer == nullptr) {
      EXPECT_FALSE(writer.has_value()) << *writer;
    } else {
      ASSERT_TRUE(writer.has_value());
      EXPECT_NE(std::string::npos, writer->find(c.writer)) << *writer;
    }
  }
}

TEST(WriteAccessTest, NoPermissionsAtAllLetEveryoneChangeIt) {
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  const LocalMemory caller = Sid(kCaller);
  const std::optional<std::string> writer = platform::win32::UntrustedWriter(&descriptor, caller.get());
  ASSERT_TRUE(writer.has_value());
  EXPECT_NE(std::string::npos, writer->find("Everyone")) << *writer;
}

// Wine gives a file the permissions of its Unix mode: the caller's own file in a folder of its
// own passes, and a missing file is named with the reason.
TEST(WriteAccessTest, ARealFileIsReadThroughItsPath) {
  TempFolder folder;
  const std::filesystem::path program = folder.path() / "TestSrv.exe";
  std::ofstream(program) << "MZ";
  std::string why;
  EXPECT_TRUE(platform::win32::OnlyTrustedMayChange(program.string(), &why)) << why;
  const std::string missing = (folder.path() / "missing.exe").string();
  EXPECT_FALSE(platform::win32::OnlyTrustedMayChange(missing, &why));
  EXPECT_EQ(0u, why.find("cannot read the permissions of " + missing)) << why;
}

}  // namespace
