// The engine's VXR.INI: read once per initialisation, then the presets of every new context.
#pragma once

#include <cstdint>
#include <string>

class LibraryState;
class ScanContext;

/// The values read from the configuration file named by the LibraryState. A missing file,
/// section or key gives the defaults; nothing is ever written to the file.
class ConfigFile {
 public:
  explicit ConfigFile(LibraryState* state) : state_(state) {}

  /// Reads every key in order and sets the state's pattern folder (made an absolute path) and
  /// pattern file name. False when a text does not fit its 260-byte field (it is refused, never
  /// cut into another name), and when the pattern folder cannot be made absolute within that
  /// field (too long, or the current directory is unreadable for a relative one).
  bool Read();
  /// Stores the presets in `context` in their fixed order: the non-empty texts, the switches,
  /// the debug level and the execute mode SCAN_ALL_WITH_CLEAN.
  void Preset(ScanContext* context) const;

  const std::string& pattern_dir() const { return pattern_dir_; }
  const std::string& pattern_name() const { return pattern_name_; }

 private:
  LibraryState* state_;
  std::string extra_outputs_;
  std::string report_dir_;
  std::string backup_dir_;
  std::string debug_log_dir_;
  std::string pattern_dir_;
  std::string pattern_name_;
  uint32_t disable_console_output_ = 0;
  uint32_t disable_report_output_ = 0;
  uint32_t disable_debug_output_ = 0;
  uint32_t backup_file_ = 0;
  uint32_t virus_msg_box_ = 0;
  uint32_t novirus_msg_box_ = 0;
  int32_t debug_info_level_ = 0;
};
