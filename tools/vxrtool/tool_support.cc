#include "tools/vxrtool/tool_support.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/whole_file.h"

bool Arguments::Parse(std::span<char* const> args, std::initializer_list<std::string_view> options,
                      std::string* error) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (options_ended || !arg.starts_with("--")) {
      operands_.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string_view name = arg.substr(0, equals);
    if (std::find(options.begin(), options.end(), name) == options.end()) {
      *error = "unknown option " + std::string(name);
      return false;
    }
    if (equals != std::string_view::npos) {
      values_[std::string(name)].emplace_back(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      values_[std::string(name)].emplace_back(args[++i]);
    } else {
      *error = "option " + std::string(name) + " needs a value";
      return false;
    }
  }
  return true;
}

std::string Arguments::Value(std::string_view option) const {
  auto found = values_.find(std::string(option));
  return found == values_.end() ? std::string() : found->second.back();
}

std::vector<std::string> Arguments::Values(std::string_view option) const {
  auto found = values_.find(std::string(option));
  return found == values_.end() ? std::vector<std::string>() : found->second;
}

int UsageError(std::string_view message, std::string_view usage) {
  std::fprintf(stderr, "vxrtool: %.*s\nusage: vxrtool %.*s\n", static_cast<int>(message.size()), message.data(),
               static_cast<int>(usage.size()), usage.data());
  return kExitUsage;
}

int Failure(std::string_view message) {
  std::fprintf(stderr, "vxrtool: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitFailure;
}

bool ParseWithOneFile(std::span<char* const> args, std::initializer_list<std::string_view> options,
                      std::string_view usage, Arguments* arguments, int* exit_code) {
  std::string error;
  if (!arguments->Parse(args, options, &error)) {
    *exit_code = UsageError(error, usage);
    return false;
  }
  if (arguments->operands().size() != 1) {
    *exit_code = UsageError(arguments->operands().empty() ? "no file given" : "more than one file given", usage);
    return false;
  }
  return true;
}

bool ReadInputFile(const std::string& path, std::string* bytes) {
  platform::Result<std::string> read = ReadWholeFile(path);
  if (!read) {
    Failure(read.error().text);
    return false;
  }
  *bytes = std::move(*read);
  return true;
}

bool WriteOutputFile(const std::string& path, std::string_view bytes) {
  platform::Error error;
  const uint64_t names = HardLinkCount(path);
  if (!ReplaceFileAtomically(path, bytes, LinkRule::kFollowTrusted, &error)) {
    Failure(error.text);
    return false;
  }
  if (names > 1) {
    std::fprintf(stderr,
                 "vxrtool: warning: %s has %llu other names (hard links); they keep the old "
                 "content\n",
                 path.c_str(), static_cast<unsigned long long>(names - 1));
  }
  return true;
}
