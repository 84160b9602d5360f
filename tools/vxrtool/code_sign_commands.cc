// codesign and codeverify: the code signature that admits an engine without a valid trailer.
#include <cstdio>
#include <string>

#include "integrity/engine_validation.h"
#include "platform/code_signature.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

constexpr std::string_view kCodeSignUsage = "codesign --cert CERT.pem --key KEY.pem FILE";
constexpr std::string_view kCodeVerifyUsage = "codeverify FILE";

}  // namespace

int RunCodeSign(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {"--cert", "--key"}, kCodeSignUsage, &arguments, &exit_code)) {
    return exit_code;
  }
  if (!arguments.Has("--cert")) return UsageError("no certificate given", kCodeSignUsage);
  if (!arguments.Has("--key")) return UsageError("no key given", kCodeSignUsage);
  const std::string& path = arguments.operands().front();
  std::string certificate_pem, key_pem, image;
  platform::Error error;
  if (!ReadInputFile(arguments.Value("--cert"), &certificate_pem) ||
      !ReadInputFile(arguments.Value("--key"), &key_pem) || !ReadInputFile(path, &image)) {
    return kExitFailure;
  }
  if (!AppendCodeSignature(certificate_pem, key_pem, &image, &error)) return Failure(error.text);
  return WriteOutputFile(path, image) ? kExitSuccess : kExitFailure;
}

// Shows the signer of a signature that verifies, and whether the library takes it: only the
// expected signer passes, so only then is the exit code 0.
int RunCodeVerify(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {}, kCodeVerifyUsage, &arguments, &exit_code)) return exit_code;
  const std::string& path = arguments.operands().front();
  const platform::Result<std::string> verified = VerifyFileCodeSignature(path.c_str());
  if (!verified) return Failure(path + ": " + verified.error().text);
  const std::string& signer = *verified;
  bool accepted = VerifyCodeSignature(path.c_str()) == IntegrityVerdict::kValid;
  std::printf("%s: signed by \"%s\"%s\n", path.c_str(), signer.c_str(),
              accepted ? "" : " (not the engine maker: refused)");
  return accepted ? kExitSuccess : kExitFailure;
}
