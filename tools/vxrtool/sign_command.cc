// sign: appends the RSA/MD5 signature trailer.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_append.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"
#include "tools/vxrtool/trailer_signing.h"

namespace {

constexpr std::string_view kSignUsage = "sign --key KEY.pem FILE";

}  // namespace

// The file is read once to its end and the trailer written after it in place: memory stays
// bounded by one chunk, a file with holes is not filled in, and the file keeps its owner,
// group, mode and every hard link.
int RunSign(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {"--key"}, kSignUsage, &arguments, &exit_code)) return exit_code;
  if (!arguments.Has("--key")) return UsageError("no key given", kSignUsage);
  const std::string& path = arguments.operands().front();
  std::string error, trailer;
  std::unique_ptr<platform::RsaPrivateKey> key = LoadSigningKey(arguments.Value("--key"), &error);
  if (!key) return Failure(error);
  platform::Result<std::unique_ptr<AppendableFile>> file = AppendableFile::Open(path);
  if (!file) return Failure(file.error().text);
  auto read = [&](std::span<std::byte> buffer) -> int64_t {
    const platform::Result<size_t> got = (*file)->Read(buffer);
    if (!got) {
      error = got.error().text;
      return -1;
    }
    return static_cast<int64_t>(*got);
  };
  if (!MakeSignatureTrailer(*key, read, &trailer, &error)) {
    return Failure("cannot sign " + path + ": " + error);
  }
  platform::Error append_error;
  return (*file)->Append(trailer, &append_error) ? kExitSuccess : Failure(append_error.text);
}

int SignContent(const std::string& key_path, std::string_view content, const std::string& name, std::string* trailer) {
  std::string error;
  std::unique_ptr<platform::RsaPrivateKey> key = LoadSigningKey(key_path, &error);
  if (!key) return Failure(error);
  if (!MakeSignatureTrailer(*key, content, trailer, &error)) return Failure("cannot sign " + name + ": " + error);
  return kExitSuccess;
}
