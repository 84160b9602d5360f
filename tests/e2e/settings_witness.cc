#include "settings_witness.h"

#include <cstdio>

#include "support/text.h"
#include "vxr_lib.h"

namespace {

std::string IdText(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", id);
  return text;
}

// The engine writes a line feed inside a value as the two characters \n.
std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\n')
      escaped += "\\n";
    else if (c == '\\')
      escaped += "\\\\";
    else
      escaped += c;
  }
  return escaped;
}

}  // namespace

std::string StringRecordLine(uint32_t id, const std::string& text) { return IdText(id) + " string " + Escaped(text); }

std::string FlagRecordLine(uint32_t id, int32_t flag) { return IdText(id) + " flag " + std::to_string(flag); }

std::string ValueRecordLine(uint32_t id, int32_t value) { return IdText(id) + " value " + std::to_string(value); }

std::vector<std::string> DefaultPresetLines(const std::filesystem::path& folder) {
  return {
      StringRecordLine(VXR_STR_REPORT_DIR, "report"),
      StringRecordLine(VXR_STR_BACKUP_DIR, "backup"),
      StringRecordLine(VXR_STR_DEBUG_LOG_DIR, "debug"),
      StringRecordLine(VXR_STR_PATTERN_DIR, folder.string()),
      StringRecordLine(VXR_STR_PATTERN_FILENAME, "vxr.ptn"),
      FlagRecordLine(VXR_FLG_DISABLE_CONSOLE_OUTPUT, 0),
      FlagRecordLine(VXR_FLG_DISABLE_REPORT_OUTPUT, 0),
      FlagRecordLine(VXR_FLG_DISABLE_DEBUG_OUTPUT, 0),
      ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 0),
      FlagRecordLine(VXR_FLG_BACKUP_FILE, 0),
      FlagRecordLine(VXR_FLG_VIRUS_MSG_BOX, 0),
      FlagRecordLine(VXR_FLG_NOVIRUS_MSG_BOX, 0),
      ValueRecordLine(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN),
  };
}

std::vector<std::string> ReceivedSettings(const std::filesystem::path& folder) {
  return ReadLines(folder / "report" / "settings.txt");
}

void UpdateInPlace(std::vector<std::string>* lines, const std::string& line) {
  std::string id = line.substr(0, 10);
  for (std::string& existing : *lines) {
    if (existing.compare(0, 10, id) == 0) {
      existing = line;
      return;
    }
  }
  lines->push_back("no preset for " + line);
}
