#include "tools/vxr_ref/settings_report.h"

#include <cstdio>

#include "vxr_contract.h"

namespace {

void AppendEscaped(std::string_view text, std::string* out) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escape[5];
          std::snprintf(escape, sizeof escape, "\\x%02X", byte);
          *out += escape;
        } else {
          *out += c;
        }
    }
  }
}

}  // namespace

std::string FormatSettingLine(const engine_sdk::EngineSetting& setting) {
  char id[11];
  std::snprintf(id, sizeof id, "0x%08X", setting.id);
  std::string line = std::string(id) + " " + engine_sdk::SettingKindName(setting.kind) + " ";
  if (setting.kind == engine_sdk::SettingKind::kString) {
    AppendEscaped(setting.text, &line);
  } else {
    line += std::to_string(setting.value);
  }
  return line;
}

std::filesystem::path ReportFolder(std::span<const engine_sdk::EngineSetting> settings) {
  for (const engine_sdk::EngineSetting& setting : settings) {
    if (setting.id == VXR_STR_REPORT_DIR) return setting.text;
  }
  return "report";
}

bool WriteReportFile(platform::FolderWriter& folder, const std::string& name, std::span<const std::string> lines,
                     std::string* error) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  platform::Error failure;
  if (folder.ReplaceFile(name, text, &failure)) return true;
  *error = failure.text;
  return false;
}
