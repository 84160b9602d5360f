// The reference engine's memory of earlier runs: a count kept in its report folder, so that
// consecutive runs can behave differently (growing memory, a sequence of exit codes).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/folder_writer.h"

/// The number of this run in the report folder `folder`, open at `path` (1 for the first): one
/// more than the count in its file run_count, which is written back. Null with `*error` set
/// when the file cannot be written.
std::optional<uint64_t> NextRunNumber(platform::FolderWriter& folder, const std::filesystem::path& path,
                                      std::string* error);

/// Allocates `kib` KiB, touches every page of it and keeps it until the process ends.
void HoldTouchedMemory(uint64_t kib);
