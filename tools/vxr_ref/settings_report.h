// What the reference engine writes into its report folder.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "engine_sdk/engine_settings.h"
#include "platform/folder_writer.h"

/// One line of settings.txt, without its line feed: the ID as "0x%08X", the kind, the value,
/// separated by one space each. A string's text is escaped so that it stays on one line:
/// backslash as "\\", line feed "\n", carriage return "\r", tab "\t", any other byte below
/// 0x20 and 0x7F as "\xHH"; other bytes are written as they are.
std::string FormatSettingLine(const engine_sdk::EngineSetting& setting);

/// The report folder: the first VXR_STR_REPORT_DIR setting, "report" when there is none.
std::filesystem::path ReportFolder(std::span<const engine_sdk::EngineSetting> settings);

/// Writes `lines`, one per line, as the file `name` of the open report folder, replacing it
/// whole (platform/folder_writer.h). False with `*error` set when that fails.
bool WriteReportFile(platform::FolderWriter& folder, const std::string& name, std::span<const std::string> lines,
                     std::string* error);
