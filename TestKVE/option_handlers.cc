#include "TestKVE/option_handlers.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "TestKVE/engine_client.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/harness.h"
#include "TestKVE/pattern_loop.h"
#include "command_text/command_line.h"

namespace {

constexpr int32_t kSpywareMagic = 0x1ABDE51A;
constexpr int32_t kVulnerabilityMagic = 0x1ABDE31A;
constexpr int32_t kVulnerabilityMagic64 = 0x1ABDE91A;

// A pattern mode: its message, the pattern magic it enables and its pattern file.
void EnablePatternMode(EngineClient& client, const char* message, int32_t magic, const char* pattern_file) {
  std::printf("%s", message);
  client.VXRSetValueInfo(VXR_INT_ENABLE_PATTERN_MAGIC, magic);
  client.VXRSetStringInfo(VXR_STR_PATTERN_FILENAME, pattern_file);
}

void SetFlag(EngineClient& client, const CommandLine& line, const char* option, uint32_t id, const char* message) {
  if (!line.HasOption(option)) return;
  if (message != nullptr) std::printf("%s", message);
  client.VXRSetFlagInfo(id, 1);
}

// /GCNAME and /GCPATH act only before the process's first pattern-loop repetition.
void SetGenericCleanList(EngineClient& client, const CommandLine& line, const HarnessState& state, const char* option,
                         uint32_t id, const char* message_format) {
  std::string value = OptionValue(line, option);
  std::vector<std::string> items;
  if (value.empty() || SplitList(value, ';', &items) == 0 || state.PatternLoopCounter != 0) return;
  for (const std::string& item : items) {
    client.VXRSetStringInfo(id, item.c_str());
    std::printf(message_format, item.c_str());
  }
}

void SetStringOption(EngineClient& client, const CommandLine& line, const char* option, uint32_t id,
                     const char* message_format) {
  std::string value = OptionValue(line, option);
  if (value.empty()) return;
  std::printf(message_format, value.c_str());
  client.VXRSetStringInfo(id, value.c_str());
}

void SetPatternModes(EngineClient& client, const CommandLine& line) {
  if (line.HasOption("SPY")) EnablePatternMode(client, "Enable Spyware Mode\n", kSpywareMagic, "qlakve.ptn");
  if (line.HasOption("QZ")) {
    std::printf("Enable TALIX Mode\n");
    client.VXRSetFlagInfo(VXR_FLG_ENABLE_QZ_SPYWARE, 1);
    client.VXRSetStringInfo(VXR_STR_PATTERN_FILENAME, "QZAKVE.ptn");
  }
  if (line.HasOption("VA")) {
    int32_t magic = line.HasOption("X64") ? kVulnerabilityMagic64 : kVulnerabilityMagic;
    EnablePatternMode(client, "Enable VA Mode\n", magic, "QLVAmain.ptn");
  }
  if (line.HasOption("VXR")) {
    std::printf("Enable Trojan Mode\n");
    client.VXRSetStringInfo(VXR_STR_PATTERN_FILENAME, "vxr.ptn");
  }
}

void SetQuickScan(EngineClient& client, const CommandLine& line) {
  if (line.HasOption("QUICK")) {
    std::printf("Quick Scan Mode: ON\n");
    client.VXRSetFlagInfo(VXR_FLG_SPYWARE_QUICK_SCAN, 1);
  } else if (line.HasOption("QUICK-")) {
    std::printf("Quick Scan Mode: OFF\n");
    client.VXRSetFlagInfo(VXR_FLG_SPYWARE_QUICK_SCAN, 0);
  }
}

constexpr uint32_t kVersionBufferSize = 16;

// The size query, then the copy into a 16-byte buffer. A value that does not fit is refused
// by the library (VXR_LIB_BUFFER_TOO_SHORT) instead of being written past the buffer.
VXRResult QueryString(EngineClient& client, uint32_t id, char (&buffer)[kVersionBufferSize], uint32_t* size) {
  *size = 0;
  client.VXRGetStringInfo(id, nullptr, size);
  *size = std::min(*size, kVersionBufferSize);
  return client.VXRGetStringInfo(id, buffer, size);
}

void ShowPatternVersion(EngineClient& client, char (&buffer)[kVersionBufferSize], const char* format) {
  uint32_t size = 0;
  if (QueryString(client, VXR_STR_PATTERN_VER, buffer, &size) == VXR_LIB_SUCCESS && size != 0)
    std::printf(format, buffer);
}

void ShowPatternVersionOf(EngineClient& client, char (&buffer)[kVersionBufferSize], int32_t magic,
                          const char* pattern_file, const char* format) {
  client.VXRSetValueInfo(VXR_INT_DISABLE_PATTERN_MAGIC, magic);
  client.VXRSetStringInfo(VXR_STR_PATTERN_FILENAME, pattern_file);
  ShowPatternVersion(client, buffer, format);
}

}  // namespace

RunFlow ShowVersions(EngineClient& client, const CommandLine& line, const HarnessState& state) {
  if (!line.HasOption("VER")) return RunFlow::kContinue;
  char engine[kVersionBufferSize] = {};
  char build[kVersionBufferSize] = {};
  char pattern[kVersionBufferSize] = {};
  uint32_t size = 0;
  VXRResult result = QueryString(client, VXR_STR_VXR_VER, engine, &size);
  if (result != VXR_LIB_SUCCESS || size == 0) {
    std::printf("Get KVE Version Error: %d\n", static_cast<int32_t>(result));
  } else {
    QueryString(client, VXR_STR_VXR_BUILD_NUMBER, build, &size);
    std::printf("KVE Version: %s-%s\n", engine, build);
  }
  ShowPatternVersion(client, pattern, "VXR Pattern: %s\n");
  ShowPatternVersionOf(client, pattern, kSpywareMagic, "qlakve.ptn", "SPY Pattern: %s\n");
  ShowPatternVersionOf(client, pattern, kVulnerabilityMagic, "QLVAMain.ptn", "VA  Pattern: %s\n");
  return state.InteractiveMode == 0 ? RunFlow::kEndRun : RunFlow::kContinue;
}

RunFlow ApplyOptions(EngineClient& client, const CommandLine& line, Harness& harness) {
  const HarnessState& state = harness.state;
  SetFlag(client, line, "GC", VXR_FLG_ENABLE_GENCLEAN, "Enable Generic Clean\n");
  SetGenericCleanList(client, line, state, "GCNAME", VXR_STR_VIRUS_NAME_MORVA, "Assign Generic Clean virus name: %s\n");
  SetGenericCleanList(client, line, state, "GCPATH", VXR_STR_VIRUS_FILE_PATH,
                      "Assign Generic Clean virus file path: %s\n");
  SetPatternModes(client, line);
  SetStringOption(client, line, "PTN", VXR_STR_PATTERN_FILENAME, "Set pattern file name: %s\n");
  SetStringOption(client, line, "PTNPATH", VXR_STR_PATTERN_DIR, "Set pattern path: %s\n");
  if (line.HasOption("NC")) client.VXRSetValueInfo(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITHOUT_CLEAN);
  OpenExtraOutputSlot(client, line, harness);
  SetFlag(client, line, "QUIET", VXR_FLG_DETACH_CONSOLE, "Enable Detach Mode\n");
  if (line.HasOption("QA")) client.VXRSetValueInfo(VXR_INT_DEBUG_INFO_LEVEL, 5);
  OpenPatternNameSlot(client, line, harness);
  if (line.HasOption("LEVEL")) client.VXRSetValueInfo(VXR_INT_DEBUG_INFO_LEVEL, ReadDecimalOption(line, "LEVEL", 0));
  SetFlag(client, line, "BK", VXR_FLG_BACKUP_FILE, nullptr);
  RestorePatterns(client, line, state);
  SetQuickScan(client, line);
  if (RunFlow flow = RunPatternList(client, line, harness.slots); flow != RunFlow::kContinue) return flow;
  if (line.HasOption("BL")) {
    std::printf("Dump Backup File List\n");
    client.VXRSetValueInfo(VXR_INT_EXECUTE_MODE, DUMP_BACKUP_FILE);
  }
  if (line.HasOption("MSGBOX")) {
    client.VXRSetFlagInfo(VXR_FLG_VIRUS_MSG_BOX, 1);
    client.VXRSetFlagInfo(VXR_FLG_NOVIRUS_MSG_BOX, 1);
  }
  return ShowVersions(client, line, state);
}
