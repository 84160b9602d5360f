// Small fixtures for the tests of the settings block and the engine launch.
#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "settings_block/block_record.h"
#include "settings_block/settings_block.h"
#include "support/program_runner.h"

/// The reference engine of this build.
inline const std::string kReferenceEngine = BuiltProgram("vxr_ref");

/// Sets an environment variable for the life of the object (the engine inherits it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    platform::SetEnvironmentValue(name, value.c_str());
  }
  ~ScopedEnv() {
    if (old_) {
      platform::SetEnvironmentValue(name_, old_->c_str());
    } else {
      platform::RemoveEnvironmentValue(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

/// Records as VXRExecute hands them to LaunchEngine: settings, then the terminator.
class RecordList {
 public:
  RecordList& String(uint32_t id, const std::string& text) { return Add(std::make_unique<StringRecord>(id, text)); }
  RecordList& Flag(uint32_t id, int32_t flag) { return Add(std::make_unique<FlagRecord>(id, flag)); }
  RecordList& Value(uint32_t id, int32_t value) { return Add(std::make_unique<ValueRecord>(id, value)); }
  /// Appends the terminator; call last.
  RecordList& Terminate() { return Value(0, 0); }

  const std::vector<std::unique_ptr<BlockRecord>>& records() const { return records_; }
  uint32_t data_size() const { return data_size_; }

 private:
  RecordList& Add(std::unique_ptr<BlockRecord> record) {
    data_size_ += record->Size();
    records_.push_back(std::move(record));
    return *this;
  }

  std::vector<std::unique_ptr<BlockRecord>> records_;
  uint32_t data_size_ = 0;
};

/// Makes `block` a finished settings block holding `records`, sized to fit them exactly; false
/// when it cannot be made or a record does not fit.
inline bool WriteBlock(SharedBlock* block, const RecordList& records) {
  if (!block->Create(SharedBlock::kHeaderSize + records.data_size())) return false;
  block->OpenForWriting();
  for (const auto& record : records.records()) {
    if (!block->Append(*record)) return false;
  }
  block->Finish();
  return true;
}
