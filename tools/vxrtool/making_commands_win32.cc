// The commands that make signed files need the Linux tree's OpenSSL and ELF writer; on Windows
// they say so, and the Linux vxrtool signs the Windows engine folder during the build.
#include <cstdio>

#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

int LinuxOnly(const char* command) {
  std::fprintf(stderr, "vxrtool: %s is available in the Linux build only\n", command);
  return kExitUsage;
}

}  // namespace

int RunSign(std::span<char* const>) { return LinuxOnly("sign"); }
int SignContent(const std::string&, std::string_view, const std::string&, std::string*) { return LinuxOnly("signing"); }
int RunVersionSet(std::span<char* const>) { return LinuxOnly("version set"); }
