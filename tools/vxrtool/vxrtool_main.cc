// vxrtool: the file tool of TestKVE. It signs files and checks them with the library's own
// checks, writes and shows the version information of engine executables, and builds and
// inspects pattern files.
#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>

#include "testkve_version.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"
#include "tools/vxrtool/usage.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(std::span<char* const> args);
};

constexpr Command kCommands[] = {
    {"sign", RunSign},       {"verify", RunVerify}, {"codesign", RunCodeSign}, {"codeverify", RunCodeVerify},
    {"version", RunVersion}, {"ptn", RunPattern},
};

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

// "--help" or "-h" among a command's arguments, before any "--" that ends its options.
bool AsksForHelp(std::span<char* const> args) {
  auto options_end =
      std::find_if(args.begin(), args.end(), [](const char* arg) { return std::string_view(arg) == "--"; });
  return std::any_of(args.begin(), options_end, [](const char* arg) { return IsHelp(arg); });
}

// The command and, when it has actions, the words that name one: everything up to the first
// option.
std::span<char* const> CommandWords(std::span<char* const> args) {
  auto first_option = std::find_if(args.begin(), args.end(), [](const char* arg) { return arg[0] == '-'; });
  return args.first(static_cast<size_t>(first_option - args.begin()));
}

}  // namespace

int main(int argc, char** argv) {
  std::span<char* const> args(argv, static_cast<size_t>(argc));
  if (args.size() < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::string_view name = args[1];
  if (IsHelp(name) || name == "help") {
    PrintUsage(stdout);
    return kExitSuccess;
  }
  if (name == "--version") {
    std::printf("vxrtool (TestKVE) %s\n", kTestKVEVersion);
    return kExitSuccess;
  }
  for (const Command& command : kCommands) {
    if (command.name != name) continue;
    if (AsksForHelp(args.subspan(2))) {
      PrintCommandUsage(stdout, CommandWords(args.subspan(1)));
      return kExitSuccess;
    }
    return command.run(args.subspan(2));
  }
  std::fprintf(stderr, "vxrtool: unknown command %s\n", args[1]);
  PrintUsage(stderr);
  return kExitUsage;
}
