// One stored setting of a scan context: a flag, a value or a string under a setting ID.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

/// Abstract setting. Each kind answers for itself as a number and as a text, so that a
/// setting is never read as a value of another type.
class Setting {
 public:
  enum class Kind { kFlag, kValue, kString };

  explicit Setting(uint32_t id) : id_(id) {}
  virtual ~Setting() = default;
  Setting(const Setting&) = delete;
  Setting& operator=(const Setting&) = delete;

  virtual Kind kind() const = 0;
  /// The 32-bit value of a flag (0 or 1) or value setting; 0 for a string setting.
  virtual int32_t number() const { return 0; }
  /// The text of a string setting, never null; empty for a flag or value setting.
  virtual std::string_view text() const { return {}; }

  uint32_t id() const { return id_; }
  bool is_numeric() const { return kind() != Kind::kString; }

 private:
  uint32_t id_;
};

/// The common part of flag and value settings: one 32-bit number.
class NumberSetting : public Setting {
 public:
  NumberSetting(uint32_t id, int32_t number) : Setting(id), number_(number) {}
  int32_t number() const override { return number_; }
  /// Stores `number` as this kind stores numbers.
  virtual void Assign(int32_t number) { number_ = number; }

 protected:
  int32_t number_;
};

/// A flag: always 0 or 1, whatever number it is given.
class FlagSetting final : public NumberSetting {
 public:
  FlagSetting(uint32_t id, int32_t flag) : NumberSetting(id, flag != 0 ? 1 : 0) {}
  Kind kind() const override { return Kind::kFlag; }
  void Assign(int32_t flag) override { number_ = flag != 0 ? 1 : 0; }
};

/// A signed 32-bit value.
class ValueSetting final : public NumberSetting {
 public:
  using NumberSetting::NumberSetting;
  Kind kind() const override { return Kind::kValue; }
};

/// An owned 8-bit text without a length limit.
class StringSetting final : public Setting {
 public:
  StringSetting(uint32_t id, std::string_view text) : Setting(id), text_(text) {}
  Kind kind() const override { return Kind::kString; }
  std::string_view text() const override { return text_; }
  void Assign(std::string text) { text_ = std::move(text); }
  /// Adds a line feed and `text` in place, so a long list grows without being copied whole.
  void AppendLine(std::string_view text) { text_.append(1, '\n').append(text); }

 private:
  std::string text_;
};
