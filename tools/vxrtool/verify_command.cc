// verify: checks the RSA/MD5 signature trailer with the library's own check.
#include <cstdio>
#include <string>

#include "integrity/appended_signature.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

constexpr std::string_view kVerifyUsage = "verify FILE";

}  // namespace

int RunVerify(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {}, kVerifyUsage, &arguments, &exit_code)) return exit_code;
  const std::string& path = arguments.operands().front();
  int verdict = VerifyAppendedSignature(path.c_str());
  if (verdict < 0) return Failure("cannot read " + path);
  const char* finding = verdict == 1                         ? "signature valid"
                        : !HasSignatureTrailer(path.c_str()) ? "carries no signature"
                                                             : "signature invalid";
  std::printf("%s: %s\n", path.c_str(), finding);
  return verdict == 1 ? kExitSuccess : kExitFailure;
}
