// version set: writes the version information into an engine executable: the version note of
// an ELF file, the version resource of a Windows one.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"
#include "integrity/signature_trailer.h"
#include "platform/code_signature.h"
#include "platform/file_stream.h"
#include "platform/version_info.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"
#include "tools/vxrtool/trailer_signing.h"

namespace {

constexpr std::string_view kSetUsage =
    "version set [--file-version A.B.C.D] [--special-build TEXT] "
    "[--translation LANG:CODEPAGE ...] [--key KEY.pem] FILE";
constexpr VersionTranslation kDefaultTranslation = {0x0409, 0x04B0};  // U.S. English, Unicode

bool ParseHex16(std::string_view text, uint16_t* value) {
  auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return !text.empty() && text.size() <= 4 && status == std::errc() && end == text.data() + text.size();
}

// "0409:04B0": language, then code page, in hexadecimal.
bool ParseTranslation(std::string_view text, VersionTranslation* translation) {
  size_t colon = text.find(':');
  return colon != std::string_view::npos && ParseHex16(text.substr(0, colon), &translation->language) &&
         ParseHex16(text.substr(colon + 1), &translation->code_page);
}

// Every translation gets a string table; the first one also carries SpecialBuild, which is
// where the library looks for it.
bool ContentFromArguments(const Arguments& arguments, VersionInfoContent* content, std::string* error) {
  if (arguments.Has("--file-version")) {
    FixedFileInfo fixed;
    if (!ParseFileVersion(arguments.Value("--file-version"), &fixed)) {
      *error = "bad file version " + arguments.Value("--file-version") + " (want A.B.C.D)";
      return false;
    }
    content->fixed = fixed;
  }
  for (const std::string& text : arguments.Values("--translation")) {
    if (!ParseTranslation(text, &content->translations.emplace_back())) {
      *error = "bad translation " + text + " (want LANG:CODEPAGE in hexadecimal, e.g. 0409:04B0)";
      return false;
    }
  }
  if (content->translations.empty()) content->translations.push_back(kDefaultTranslation);
  for (VersionTranslation translation : content->translations) {
    auto& table = content->string_tables.emplace_back();
    table.translation = translation;
    if (arguments.Has("--file-version")) {
      table.strings.emplace_back("FileVersion", arguments.Value("--file-version"));
    }
  }
  if (arguments.Has("--special-build")) {
    content->string_tables.front().strings.emplace_back("SpecialBuild", arguments.Value("--special-build"));
  }
  return true;
}

// The signature trailer of a signed file covers the version information too: it is taken off
// before the new information goes in, since it could never match again.
void RemoveSignatureTrailer(std::string* image) {
  const auto* end = reinterpret_cast<const uint8_t*>(image->data() + image->size());
  uint32_t length = DecodeTrailerLength(
      std::span<const uint8_t, kTrailerLengthFieldBytes>(end - kTrailerLengthFieldBytes, kTrailerLengthFieldBytes));
  image->resize(image->size() - kTrailerLengthFieldBytes - length);
}

void WarnAboutLostSignatures(const std::string& path, bool had_trailer, bool had_code_signature) {
  if (had_trailer) {
    std::fprintf(stderr,
                 "vxrtool: warning: %s was signed; its signature does not cover the new version "
                 "information and was removed: sign it again (vxrtool sign --key KEY.pem %s, or "
                 "version set --key KEY.pem)\n",
                 path.c_str(), path.c_str());
  }
  if (had_code_signature) {
    std::fprintf(stderr,
                 "vxrtool: warning: %s had a code signature, which no longer matches: sign it "
                 "again with vxrtool codesign (a Windows engine with signtool or osslsigncode)\n",
                 path.c_str());
  }
}

}  // namespace

int RunVersionSet(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {"--file-version", "--special-build", "--translation", "--key"}, kSetUsage, &arguments,
                        &exit_code)) {
    return exit_code;
  }
  // With nothing to set, writing would only wipe the version information there is.
  if (!arguments.Has("--file-version") && !arguments.Has("--special-build") && !arguments.Has("--translation")) {
    return UsageError("nothing to set: give --file-version, --special-build or --translation", kSetUsage);
  }
  VersionInfoContent content;
  std::string error, image, trailer;
  if (!ContentFromArguments(arguments, &content, &error)) return UsageError(error, kSetUsage);
  const platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  if (!block) return Failure(block.error().text);
  std::unique_ptr<platform::RsaPrivateKey> key;
  if (arguments.Has("--key")) {
    key = LoadSigningKey(arguments.Value("--key"), &error);
    if (!key) return Failure(error);
  }
  const std::string& path = arguments.operands().front();
  if (!ReadInputFile(path, &image)) return kExitFailure;
  const bool had_trailer = VerifyAppendedSignature(path.c_str()) == 1;
  if (had_trailer) RemoveSignatureTrailer(&image);
  const bool had_code_signature = HasCodeSignature(image);
  if (platform::Error failure; !EmbedVersionInfo(*block, &image, &failure)) return Failure(path + ": " + failure.text);
  if (key) {
    if (!MakeSignatureTrailer(*key, image, &trailer, &error)) {
      return Failure("cannot sign " + path + ": " + error);
    }
    image += trailer;
  }
  if (!WriteOutputFile(path, image)) return kExitFailure;
  WarnAboutLostSignatures(path, had_trailer && !key, had_code_signature);
  return kExitSuccess;
}
