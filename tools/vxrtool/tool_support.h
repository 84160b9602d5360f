// What every vxrtool sub-command shares: its arguments, and how it reports.
#pragma once

#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

/// The arguments of one sub-command: options "--name VALUE" or "--name=VALUE" (an option may
/// be given more than once) and operands; "--" ends the options.
class Arguments {
 public:
  /// Parses `args`; `options` lists the accepted option names (with their "--"). False, with
  /// the reason in `error`, for an unknown option or one without its value.
  bool Parse(std::span<char* const> args, std::initializer_list<std::string_view> options, std::string* error);

  bool Has(std::string_view option) const { return values_.count(std::string(option)) > 0; }
  /// The last value given for `option`, or "".
  std::string Value(std::string_view option) const;
  /// Every value given for `option`, in order.
  std::vector<std::string> Values(std::string_view option) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> operands_;
};

/// Prints "vxrtool: MESSAGE" and the usage line of `usage` on standard error; kExitUsage.
int UsageError(std::string_view message, std::string_view usage);
/// Prints "vxrtool: MESSAGE" on standard error; kExitFailure.
int Failure(std::string_view message);

/// Parses the arguments of a sub-command that takes exactly one file operand; on failure it
/// has printed why and `*exit_code` is set.
bool ParseWithOneFile(std::span<char* const> args, std::initializer_list<std::string_view> options,
                      std::string_view usage, Arguments* arguments, int* exit_code);

/// Reads the file named on the command line, or prints why not.
bool ReadInputFile(const std::string& path, std::string* bytes);
/// Replaces the file atomically, keeping its owner, group and mode, or prints why not; warns
/// when the file has other names (hard links), which keep the old content.
bool WriteOutputFile(const std::string& path, std::string_view bytes);
