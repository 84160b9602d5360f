// vxrtool: the file tool of TestKVE. It signs files and checks them with the library's own
// checks, writes and shows the version information of engine executables, and builds and
// inspects pattern files.
#include <cstdio>
#include <span>
#include <string_view>

#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(std::span<char* const> args);
};

constexpr Command kCommands[] = {
    {"sign", RunSign},       {"verify", RunVerify}, {"codesign", RunCodeSign}, {"codeverify", RunCodeVerify},
    {"version", RunVersion}, {"ptn", RunPattern},
};

constexpr std::string_view kUsage =
    "usage: vxrtool COMMAND [options] FILE\n"
    "  sign --key KEY.pem FILE          append the RSA/MD5 signature trailer\n"
    "  verify FILE                      check the signature trailer (exit 0 only when valid)\n"
    "  codesign --cert CERT.pem --key KEY.pem FILE\n"
    "                                   append a code signature\n"
    "  codeverify FILE                  check the code signature, show the signer\n"
    "  version set [--file-version A.B.C.D] [--special-build TEXT]\n"
    "              [--translation LANG:CODEPAGE ...] [--key KEY.pem] FILE\n"
    "                                   write the version information;\n"
    "                                   --key signs the result\n"
    "  version show FILE                show the version information as the library reads it\n"
    "  ptn build --version N --names NAMES.txt [--mode 0x81|0x01|none]\n"
    "            [--records-before K] [--sign KEY.pem] --out FILE\n"
    "                                   write a pattern file holding the names, one per line\n"
    "  ptn version FILE                 show the pattern version\n"
    "  ptn list FILE                    show every virus name, in file order\n"
    "  ptn find FILE NAME...            look names up (exit 0 all found, 1 one missing, 2 error)\n"
    "  ptn info FILE                    show records by kind, sections by mode, the signature\n";

}  // namespace

int main(int argc, char** argv) {
  std::span<char* const> args(argv, static_cast<size_t>(argc));
  if (args.size() < 2) {
    std::fputs(kUsage.data(), stderr);
    return kExitUsage;
  }
  std::string_view name = args[1];
  if (name == "--help" || name == "help") {
    std::fputs(kUsage.data(), stdout);
    return kExitSuccess;
  }
  for (const Command& command : kCommands) {
    if (command.name == name) return command.run(args.subspan(2));
  }
  std::fprintf(stderr, "vxrtool: unknown command %s\n%s", args[1], kUsage.data());
  return kExitUsage;
}
