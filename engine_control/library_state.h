// The library-wide paths and version texts shared by every scan context.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vxr_lib.h"

/// Paths and names hold what callers passed and the library checked against its 260-character
/// limits; the version texts read from the engine are cut to 259 characters.
class LibraryState {
 public:
  const std::string& engine_dir() const { return engine_dir_; }
  const std::string& pattern_dir() const { return pattern_dir_; }
  const std::string& pattern_filename() const { return pattern_filename_; }
  const std::string& engine_path() const { return engine_path_; }
  const std::string& pattern_version() const { return pattern_version_; }
  const std::string& engine_version() const { return engine_version_; }
  const std::string& engine_build() const { return engine_build_; }
  const std::string& config_path() const { return config_path_; }

  void set_engine_dir(std::string_view text) { engine_dir_ = text; }
  void set_pattern_dir(std::string_view text) { pattern_dir_ = text; }
  void set_pattern_filename(std::string_view text) { pattern_filename_ = text; }
  void set_engine_path(std::string_view text) { engine_path_ = text; }
  void set_config_path(std::string_view text) { config_path_ = text; }
  void set_engine_version(std::string_view text) { engine_version_ = CutToField(text); }
  void set_engine_build(std::string_view text) { engine_build_ = CutToField(text); }

  /// Reads the version number from the header of the first record of kind 0x1ABDE21A in the
  /// pattern file (pattern folder and file name joined with "/"; a name that differs only in
  /// ASCII case is found), walking the record headers only, and keeps it as decimal text; `*size` gets the text's
  /// length plus 1. Failures: VXR_LIB_INVALID_PARAMETER (path too long), VXR_LIB_PATTERN_NOT_EXIST, VXR_LIB_PTN_LOCK,
  /// VXR_LIB_PTN_OPEN_FAIL, VXR_LIB_FAIL (no such record, or a short read); they leave the
  /// last good version text in place.
  VXRResult ReadPatternVersion(uint32_t* size);
  /// The pattern file's path, or empty when it would not fit the 260-byte field.
  std::string PatternPath() const;

 private:
  static std::string CutToField(std::string_view text) { return std::string(text.substr(0, kPathFieldSize - 1)); }

  std::string engine_dir_;
  std::string pattern_dir_;
  std::string pattern_filename_;
  std::string engine_path_;
  std::string pattern_version_;
  std::string engine_version_;
  std::string engine_build_;
  std::string config_path_;
};
