#include "engine_control/config_file.h"

#include <optional>
#include <string_view>

#include "engine_control/library_state.h"
#include "engine_control/scan_context.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "vxr_lib.h"

namespace {

constexpr std::string_view kOptions = "options";
constexpr std::string_view kAdvanced = "advanced";
constexpr std::string_view kDefaultPatternName = "vxr.ptn";
constexpr std::string_view kDefaultDebugLogDir = "debug";
constexpr std::string_view kDefaultBackupDir = "backup";
constexpr std::string_view kDefaultReportDir = "report";

// Switches and the level are read through a 2-byte buffer: only the first character counts.
constexpr size_t kSwitchBufferSize = 2;

// Every key the library reads; the profile keeps only these, however large the file.
constexpr ProfileKey kKeysRead[] = {
    {kAdvanced, "ExtraOutputs"},        {kAdvanced, "DisableConsoleOutput"},
    {kAdvanced, "DisableReportOutput"}, {kAdvanced, "DisableDebugOutput"},
    {kAdvanced, "DebugInfoLevel"},      {kAdvanced, "ReportDir"},
    {kOptions, "BackupFile"},           {kOptions, "BackupDir"},
    {kOptions, "DebugLogDir"},          {kOptions, "VirusMsgbox"},
    {kOptions, "NoneMsgbox"},           {kOptions, "PatternDir"},
    {kAdvanced, "PatternName"},
};

// A text is read whole, or `fallback` when missing or empty. False when it does not fit its
// 260-byte field: cut, it would name another folder or file.
bool ReadText(const ProfileFile& profile, std::string_view section, std::string_view key, std::string_view fallback,
              std::string* text) {
  const std::string* value = profile.Find(section, key);
  if (value != nullptr && value->size() >= kPathFieldSize) return false;
  *text = value == nullptr || value->empty() ? std::string(fallback) : *value;
  return true;
}

uint32_t ReadSwitch(const ProfileFile& profile, std::string_view section, std::string_view key) {
  return profile.GetString(section, key, "", kSwitchBufferSize) == "1" ? 1 : 0;
}

int32_t ReadLevel(const ProfileFile& profile, std::string_view key) {
  std::string text = profile.GetString(kAdvanced, key, "", kSwitchBufferSize);
  if (text.empty() || text[0] < '0' || text[0] > '5') return 0;
  return text[0] - '0';
}

}  // namespace

bool ConfigFile::Read() {
  const ProfileFile profile = ProfileFile::Load(state_->config_path().c_str(), kKeysRead);
  std::string pattern_dir;
  if (!ReadText(profile, kAdvanced, "ExtraOutputs", "", &extra_outputs_) ||
      !ReadText(profile, kAdvanced, "ReportDir", kDefaultReportDir, &report_dir_) ||
      !ReadText(profile, kOptions, "BackupDir", kDefaultBackupDir, &backup_dir_) ||
      !ReadText(profile, kOptions, "DebugLogDir", kDefaultDebugLogDir, &debug_log_dir_) ||
      !ReadText(profile, kOptions, "PatternDir", state_->engine_dir(), &pattern_dir) ||
      !ReadText(profile, kAdvanced, "PatternName", kDefaultPatternName, &pattern_name_)) {
    return false;
  }
  disable_console_output_ = ReadSwitch(profile, kAdvanced, "DisableConsoleOutput");
  disable_report_output_ = ReadSwitch(profile, kAdvanced, "DisableReportOutput");
  disable_debug_output_ = ReadSwitch(profile, kAdvanced, "DisableDebugOutput");
  debug_info_level_ = ReadLevel(profile, "DebugInfoLevel");
  backup_file_ = ReadSwitch(profile, kOptions, "BackupFile");
  virus_msg_box_ = ReadSwitch(profile, kOptions, "VirusMsgbox");
  novirus_msg_box_ = ReadSwitch(profile, kOptions, "NoneMsgbox");
  // A relative folder is resolved against the process's current directory, not the engine's.
  if (!pattern_dir.empty()) {
    std::optional<std::string> absolute = AbsolutePath(pattern_dir);
    // A cut path would name another folder; refusing it is the only honest answer.
    if (!absolute || absolute->size() >= kPathFieldSize) return false;
    pattern_dir_ = std::move(*absolute);
  }
  state_->set_pattern_dir(pattern_dir_);
  state_->set_pattern_filename(pattern_name_);
  return true;
}

void ConfigFile::Preset(ScanContext* context) const {
  const std::pair<uint32_t, const std::string*> texts[] = {
      {VXR_STR_EXTRA_OUTPUTS, &extra_outputs_}, {VXR_STR_REPORT_DIR, &report_dir_},
      {VXR_STR_BACKUP_DIR, &backup_dir_},       {VXR_STR_DEBUG_LOG_DIR, &debug_log_dir_},
      {VXR_STR_PATTERN_DIR, &pattern_dir_},     {VXR_STR_PATTERN_FILENAME, &pattern_name_},
  };
  for (const auto& [id, text] : texts) {
    if (!text->empty()) context->SetString(id, *text);
  }
  context->SetFlag(VXR_FLG_DISABLE_CONSOLE_OUTPUT, disable_console_output_);
  context->SetFlag(VXR_FLG_DISABLE_REPORT_OUTPUT, disable_report_output_);
  context->SetFlag(VXR_FLG_DISABLE_DEBUG_OUTPUT, disable_debug_output_);
  context->SetValue(VXR_INT_DEBUG_INFO_LEVEL, debug_info_level_);
  context->SetFlag(VXR_FLG_BACKUP_FILE, backup_file_);
  context->SetFlag(VXR_FLG_VIRUS_MSG_BOX, virus_msg_box_);
  context->SetFlag(VXR_FLG_NOVIRUS_MSG_BOX, novirus_msg_box_);
  context->SetValue(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN);
}
