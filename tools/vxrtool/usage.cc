#include "tools/vxrtool/usage.h"

#include <string>

namespace {

constexpr std::string_view kUsageLine = "usage: vxrtool COMMAND [options] FILE\n";

struct UsageEntry {
  std::string_view command;  // the command, and its action where it has several
  std::string_view text;
};

constexpr UsageEntry kEntries[] = {
    {"sign", "  sign --key KEY.pem FILE          append the RSA/MD5 signature trailer\n"},
    {"verify", "  verify FILE                      check the signature trailer (exit 0 only when valid)\n"},
    {"codesign",
     "  codesign --cert CERT.pem --key KEY.pem FILE\n"
     "                                   append a code signature\n"},
    {"codeverify", "  codeverify FILE                  check the code signature, show the signer\n"},
    {"version set",
     "  version set [--file-version A.B.C.D] [--special-build TEXT]\n"
     "              [--translation LANG:CODEPAGE ...] [--key KEY.pem] FILE\n"
     "                                   write the version information;\n"
     "                                   --key signs the result\n"},
    {"version show", "  version show FILE                show the version information as the library reads it\n"},
    {"ptn build",
     "  ptn build --version N --names NAMES.txt [--mode 0x81|0x01|none]\n"
     "            [--records-before K] [--sign KEY.pem] --out FILE\n"
     "                                   write a pattern file holding the names, one per line\n"},
    {"ptn version", "  ptn version FILE                 show the pattern version\n"},
    {"ptn list", "  ptn list FILE                    show every virus name, in file order\n"},
    {"ptn find", "  ptn find FILE NAME...            look names up (exit 0 all found, 1 one missing, 2 error)\n"},
    {"ptn info", "  ptn info FILE                    show records by kind, sections by mode, the signature\n"},
};

constexpr std::string_view kGeneralOptions =
    "  -h, --help                       show this text; COMMAND --help shows that command's\n"
    "  --version                        show the version\n";

constexpr std::string_view kCodeSignNote =
    "codesign signs Linux engines; Windows engines are code-signed with signtool or osslsigncode.\n";

// The entries whose command is `name` or starts with `name` and a blank.
bool PrintEntries(std::FILE* stream, std::string_view name) {
  std::string text;
  for (const UsageEntry& entry : kEntries) {
    if (entry.command == name || (entry.command.starts_with(name) && entry.command[name.size()] == ' ')) {
      text += entry.text;
    }
  }
  if (text.empty()) return false;
  std::fprintf(stream, "%.*s%s", static_cast<int>(kUsageLine.size()), kUsageLine.data(), text.c_str());
  return true;
}

}  // namespace

void PrintUsage(std::FILE* stream) {
  std::string text(kUsageLine);
  for (const UsageEntry& entry : kEntries) text += entry.text;
  text += kGeneralOptions;
  text += kCodeSignNote;
  std::fputs(text.c_str(), stream);
}

bool PrintCommandUsage(std::FILE* stream, std::span<char* const> words) {
  if (words.empty()) return false;
  const std::string command = words[0];
  // An action's own entry when the second word names one, else every entry of the command.
  if (words.size() > 1 && PrintEntries(stream, command + " " + words[1])) return true;
  return PrintEntries(stream, command);
}
