// One record of the settings block that VXRExecute hands to the engine: ID, length, data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/// The class of a setting ID is its top byte: 0x00 string, 0x01 flag, 0x02 value.
inline constexpr uint32_t kStringClass = 0x00;
inline constexpr uint32_t kFlagClass = 0x01;
inline constexpr uint32_t kValueClass = 0x02;
inline constexpr uint32_t SettingClassOf(uint32_t id) { return id >> 24; }

/// Abstract record; its kind follows from the top byte of its ID (0x00 string, 0x01 flag,
/// 0x02 value). Occupies 8 + length bytes in the block.
class BlockRecord {
 public:
  BlockRecord(uint32_t id, uint32_t length) : id_(id), length_(length) {}
  virtual ~BlockRecord() = default;
  BlockRecord(const BlockRecord&) = delete;
  BlockRecord& operator=(const BlockRecord&) = delete;

  /// The data bytes (for a string record the text with its NUL; an empty text when none).
  virtual const void* Data() const = 0;
  /// 8 plus the length.
  virtual uint32_t Size() const { return 8 + length_; }
  /// Releases what the value holds.
  virtual void Clear() = 0;

  uint32_t id() const { return id_; }
  uint32_t length() const { return length_; }

 protected:
  uint32_t id_;
  uint32_t length_;
};

/// A string record: the text and its terminating NUL, so length is the text's length plus 1.
class StringRecord final : public BlockRecord {
 public:
  StringRecord(uint32_t id, std::string_view text);
  const void* Data() const override { return text_.c_str(); }
  void Clear() override;
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

/// A 4-byte record: a flag (0 or 1) or a signed value. The terminator is a value record
/// with ID 0 and value 0.
class IntegerRecord : public BlockRecord {
 public:
  IntegerRecord(uint32_t id, int32_t value) : BlockRecord(id, 4), value_(value) {}
  const void* Data() const override { return &value_; }
  void Clear() override {}
  int32_t value() const { return value_; }

 private:
  int32_t value_;
};

/// Holds the flag as given: the harness writes 0 or 1 (MakeSettingRecord), while a record read
/// from a block keeps its first data byte sign-extended, so 0xFF reads as -1.
class FlagRecord final : public IntegerRecord {
 public:
  using IntegerRecord::IntegerRecord;
};

class ValueRecord final : public IntegerRecord {
 public:
  using IntegerRecord::IntegerRecord;
};

/// The record of one setting, chosen by the ID's top byte as the engine launch does:
/// 0x00 string; else bit 0 set flag; else bit 1 set value; anything else no record (null).
std::unique_ptr<BlockRecord> MakeSettingRecord(uint32_t id, int32_t value, std::string_view text);
