// The pattern names the reference engine hands back in DUMP_PATTERNS_ONLY mode, read from the
// pattern file its settings name with the library's own pattern reader.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine_sdk/engine_settings.h"

/// Whether the settings ask for the pattern names only (VXR_INT_EXECUTE_MODE DUMP_PATTERNS_ONLY).
bool DumpsPatternsOnly(std::span<const engine_sdk::EngineSetting> settings);

/// The pattern file the settings name: VXR_STR_PATTERN_DIR and VXR_STR_PATTERN_FILENAME joined
/// with "/" ("." and "vxr.ptn" for a missing one).
std::string PatternFilePath(std::span<const engine_sdk::EngineSetting> settings);

/// Every virus name of the pattern file at `path`, in file order. False with `*error` set when
/// the file cannot be opened or read.
bool ReadPatternNames(const std::string& path, std::vector<std::string>* names, std::string* error);
