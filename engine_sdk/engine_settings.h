// The engine's side of the settings hand-over: find the block named on the command line,
// attach to it, check it and read its records into typed settings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class SharedBlock;

namespace engine_sdk {

/// Where the harness keeps the settings block: its handle value and the harness's process ID.
struct BlockLocation {
  uint32_t handle = 0;
  uint32_t process_id = 0;
};

/// Finds "/SMH=<handle>" and "/PI=<process id>" among `arguments` (the engine's argv without
/// argv[0]; names in any case, "-" accepted for "/"). Each must appear once with an unsigned
/// decimal number; other arguments are left to the engine. Null with `*error` set otherwise.
std::optional<BlockLocation> FindBlockLocation(std::span<const char* const> arguments, std::string* error);

enum class SettingKind { kString, kFlag, kValue };

/// "string", "flag" or "value".
const char* SettingKindName(SettingKind kind);

/// One setting as the engine received it.
struct EngineSetting {
  uint32_t id = 0;
  SettingKind kind = SettingKind::kValue;
  int32_t value = 0;  ///< a flag's 0 or 1, or a value; 0 for a string
  std::string text;   ///< a string's text; empty for flags and values

  bool operator==(const EngineSetting&) const = default;
};

/// How reading the settings ended.
enum class ReadStatus {
  kOk,
  kCannotAttach,  ///< the block could not be reached or mapped
  kBadBlock,      ///< its header does not describe it or its checksum does not match
  kBadRecords,    ///< a record runs past the data area, or its data does not fit its kind,
                  ///< or the terminator is missing
};

/// Attaches to the block at `location`, checks it and reads every record up to the terminator,
/// in order, into `*settings`; then releases the block. Records whose ID class is neither
/// string (0x00), flag (0x01) nor value (0x02) are skipped. On failure `*settings` is empty
/// and `*error` says what failed.
ReadStatus ReadEngineSettings(const BlockLocation& location, std::vector<EngineSetting>* settings, std::string* error);

/// Reads the records of a block that is attached (or finished) with its cursor on the first
/// record, as ReadEngineSettings does.
ReadStatus ReadBlockSettings(SharedBlock& block, std::vector<EngineSetting>* settings, std::string* error);

}  // namespace engine_sdk
