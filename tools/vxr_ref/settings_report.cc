#include "tools/vxr_ref/settings_report.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "vxr_lib.h"

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

bool WriteReportFile(const std::filesystem::path& folder, const std::string& name,
                     std::span<const std::string> lines, std::string* error) {
  std::error_code code;
  // An empty folder setting means the current folder, which exists.
  if (!folder.empty()) std::filesystem::create_directories(folder, code);
  if (code) {
    *error = "cannot create the report folder " + folder.string() + ": " + code.message();
    return false;
  }
  const std::filesystem::path path = folder / name;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) file << line << '\n';
  file.close();
  if (!file) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}
