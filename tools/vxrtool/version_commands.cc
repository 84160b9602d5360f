// version show, and the dispatch of version set: the version information of an engine executable.
#include <cstdio>
#include <string>
#include <vector>

#include "integrity/engine_validation.h"
#include "platform/file_stream.h"
#include "platform/version_info.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

constexpr std::string_view kShowUsage = "version show FILE";

void PrintTranslations(const VersionInfo& info) {
  std::vector<VersionTranslation> translations;
  std::printf("translations:");
  if (info.QueryTranslations(&translations)) {
    for (VersionTranslation translation : translations) {
      std::printf(" %04X:%04X", translation.language, translation.code_page);
    }
  }
  std::printf("\n");
}

// The raw numbers first, then the two texts exactly as the library takes them.
int RunShow(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {}, kShowUsage, &arguments, &exit_code)) return exit_code;
  const std::string& path = arguments.operands().front();
  if (!OpenBinaryStream(path.c_str())) return Failure("cannot open " + path);
  std::optional<VersionInfo> info = VersionInfo::ReadFromFile(path.c_str());
  if (!info) return Failure(path + ": no version information");
  FixedFileInfo fixed;
  if (info->QueryFixedFileInfo(&fixed)) {
    std::printf("file version: %u.%u.%u.%u\n", fixed.file_version_ms >> 16, fixed.file_version_ms & 0xFFFF,
                fixed.file_version_ls >> 16, fixed.file_version_ls & 0xFFFF);
  } else {
    std::printf("file version: (no fixed part)\n");
  }
  PrintTranslations(*info);
  EngineVersionInfo texts;
  ReadEngineVersionInfo(path.c_str(), &texts);
  std::printf("version: %s\nbuild: %s\naccepted: %s\n", texts.version.c_str(), texts.build.c_str(),
              IsEngineVersionAccepted(texts.version) ? "yes" : "no (older than 3.5)");
  return kExitSuccess;
}

}  // namespace

int RunVersion(std::span<char* const> args) {
  std::string_view action = args.empty() ? "" : args.front();
  if (action == "set") return RunVersionSet(args.subspan(1));
  if (action == "show") return RunShow(args.subspan(1));
  return UsageError(action.empty() ? "version needs set or show" : "unknown version action " + std::string(action),
                    "version set|show ...");
}
