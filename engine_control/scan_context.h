// The settings of one engine run, in order of first insertion, and their hand-over records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine_control/setting.h"
#include "settings_block/block_record.h"
#include "vxr_lib.h"

/// A Set never changes the kind of a stored setting: a flag or value Set on an ID that holds a
/// string, or a string Set on an ID that holds a flag or value, is VXR_LIB_INVALID_PARAMETER
/// and changes nothing. Flag and value Sets on each other's settings assign in place, and a
/// flag setting keeps storing 0 or 1. The store does not check IDs against their class.
class ScanContext {
 public:
  explicit ScanContext(std::string engine_path) : engine_path_(std::move(engine_path)) {}

  /// Stores 1 for any non-zero `flag`, else 0; in place when the ID is already set.
  VXRResult SetFlag(uint32_t id, uint32_t flag);
  /// Stores `value` in place, or appends it; the two pattern-magic IDs keep lists in which an
  /// entry cancels the first entry of the opposite ID with the same value.
  VXRResult SetValue(uint32_t id, int32_t value);
  /// Replaces the text, or for the list IDs appends a line feed and `text` to a non-empty one.
  VXRResult SetString(uint32_t id, std::string_view text);

  /// The number of the first flag or value setting with `id`; VXR_LIB_INVALID_PARAMETER when
  /// there is none (or the ID holds a string).
  VXRResult GetNumber(uint32_t id, int32_t* number) const;
  /// The text of the first setting with `id` through the rules of CopyStringToBuffer;
  /// VXR_LIB_INVALID_PARAMETER when there is none (or the ID holds a flag or value).
  VXRResult GetString(uint32_t id, char* buffer, uint32_t* size) const;

  /// Rebuilds the hand-over records from the settings in order, terminator last, and their
  /// total size. False when the total would not fit a 32-bit size (nothing to hand over).
  bool RebuildRecords();

  const std::vector<std::unique_ptr<Setting>>& settings() const { return settings_; }
  const std::vector<std::unique_ptr<BlockRecord>>& records() const { return records_; }
  uint32_t records_size() const { return records_size_; }
  const std::string& engine_path() const { return engine_path_; }

 private:
  Setting* Find(uint32_t id) const;
  VXRResult SetNumber(uint32_t id, int32_t number, Setting::Kind kind);
  void AddPatternMagic(uint32_t id, int32_t value);

  std::vector<std::unique_ptr<Setting>> settings_;
  std::vector<std::unique_ptr<BlockRecord>> records_;
  uint32_t records_size_ = 0;
  std::string engine_path_;
};

/// Whether `id` is one of the string IDs whose Sets append to a list.
bool IsListStringId(uint32_t id);
