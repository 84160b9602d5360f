// What the reference engine received, as it writes it to report/settings.txt: one line per
// record, in the order of the settings block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

std::string StringRecordLine(uint32_t id, const std::string& text);
std::string FlagRecordLine(uint32_t id, int32_t flag);
std::string ValueRecordLine(uint32_t id, int32_t value);

/// The records of a fresh context under the bundled VXR.INI (every key at its default), with
/// `folder` as the engine folder: the pattern folder is its absolute path.
std::vector<std::string> DefaultPresetLines(const std::filesystem::path& folder);

/// The lines of `folder`/report/settings.txt.
std::vector<std::string> ReceivedSettings(const std::filesystem::path& folder);

/// Replaces the preset line with the same ID as `line` by `line`.
void UpdateInPlace(std::vector<std::string>* lines, const std::string& line);
