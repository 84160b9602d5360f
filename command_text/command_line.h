// One line of options, name to value: the process command line or one interactive line.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// Parses a line into options. Names are stored upper-cased (ASCII letters), values exactly as
/// typed less enclosing double quotes; a name given twice keeps its last value. Nothing in a
/// line is an error: text that forms no option is skipped.
class CommandLine {
 public:
  /// A null line gives an empty table.
  explicit CommandLine(const char* line);
  virtual ~CommandLine() = default;

  /// True when `name` (upper case) is an option of the line, with or without a value.
  bool HasOption(std::string_view name) const;
  /// Copies the option's value into `out` and returns true; leaves `out` alone when absent.
  bool GetOptionValue(std::string_view name, std::string* out) const;
  /// Every option, by name.
  const std::map<std::string, std::string, std::less<>>& AllOptions() const { return options; }

  /// Every option, name to value.
  const std::map<std::string, std::string, std::less<>>& table() const { return options; }
  /// True when the scan stopped inside a quoted value that was never closed, so the value ran
  /// to the end of the line: text written after the line would have joined that value.
  bool ended_in_open_quote() const { return ended_in_open_quote_; }

 private:
  void Store(std::string_view name, std::string_view value);

  std::map<std::string, std::string, std::less<>> options;
  bool ended_in_open_quote_ = false;
};

/// One option as the scan of a line finds it: name and value as typed (the value without its
/// quotes), and the bytes [begin, end) of the line it covers, from its "/" or "-" to the end of
/// its name or value (a closing quote included).
struct ScannedOption {
  std::string_view name;  ///< may be empty; CommandLine stores no empty name
  std::string_view value;
  bool quoted = false;  ///< the value stood in double quotes
  size_t begin = 0;
  size_t end = 0;
  bool unclosed = false;  ///< a quoted value that ran to the end of the line without its quote
};

/// The option scan that CommandLine runs: calls `visit` for every option of `line`, in order.
void ScanOptions(std::string_view line, const std::function<void(const ScannedOption&)>& visit);

/// Lists keep at most 16 items of at most 1023 characters; longer input is cut.
inline constexpr size_t kMaxListItems = 16;
inline constexpr size_t kMaxListItemLength = 1023;

/// Splits `text` at `separator` into `items` (replacing their content): "a;" gives one item,
/// "a;;" two, the second empty. Returns 1, or 0 (after printing why) when memory runs out.
int SplitList(std::string_view text, char separator, std::vector<std::string>* items);

/// Reads a decimal integer as the runtime's atoi does: leading white space and a sign
/// accepted, reading stops at the first non-digit, no digits give 0; saturates at the 32-bit
/// limits.
int32_t ReadDecimal(std::string_view text);

/// The option's value; empty when the option is absent or has no value (callers test the
/// length, so both read alike).
std::string OptionValue(const CommandLine& line, std::string_view name);

/// The value of option `name` read with ReadDecimal, or `fallback` when the option is absent or
/// its value is empty.
int32_t ReadDecimalOption(const CommandLine& line, std::string_view name, int32_t fallback);
