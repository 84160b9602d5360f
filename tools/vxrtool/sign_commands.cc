// sign and verify: the RSA/MD5 signature trailer.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"
#include "integrity/signature_trailer.h"
#include "platform/openssl_support.h"
#include "tools/vxrtool/commands.h"
#include "tools/vxrtool/tool_support.h"

namespace {

constexpr std::string_view kSignUsage = "sign --key KEY.pem FILE";
constexpr std::string_view kVerifyUsage = "verify FILE";

UniqueKey ReadPrivateKey(const std::string& pem) {
  UniqueBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  return UniqueKey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

// RSASSA-PKCS1-v1_5 with MD5 over `content`: the signature the trailer carries.
bool SignContent(EVP_PKEY* key, std::string_view content, std::vector<uint8_t>* signature) {
  UniqueDigest digest(EVP_MD_CTX_new());
  size_t size = 0;
  auto* data = reinterpret_cast<const unsigned char*>(content.data());
  if (!digest || EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key) != 1 ||
      EVP_DigestSign(digest.get(), nullptr, &size, data, content.size()) != 1) {
    return false;
  }
  signature->resize(size);
  if (EVP_DigestSign(digest.get(), signature->data(), &size, data, content.size()) != 1) {
    return false;
  }
  signature->resize(size);
  return true;
}

}  // namespace

int RunSign(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {"--key"}, kSignUsage, &arguments, &exit_code)) return exit_code;
  if (!arguments.Has("--key")) return UsageError("no key given", kSignUsage);
  std::string key_pem, content;
  const std::string& path = arguments.operands().front();
  if (!ReadInputFile(arguments.Value("--key"), &key_pem) || !ReadInputFile(path, &content)) {
    return kExitFailure;
  }
  auto key = ReadPrivateKey(key_pem);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    ERR_clear_error();
    return Failure("no RSA private key in " + arguments.Value("--key"));
  }
  if (content.empty()) return Failure("cannot sign " + path + ": the file is empty");
  std::vector<uint8_t> signature;
  if (!SignContent(key.get(), content, &signature)) {
    const char* reason = ERR_reason_error_string(ERR_peek_last_error());
    return Failure("signing failed: " + std::string(reason ? reason : "unknown reason"));
  }
  if (!AppendSignatureTrailer(signature, &content)) {
    return Failure("the key's signatures are longer than 128 bytes (a modulus above 1024 bits)");
  }
  return WriteOutputFile(path, content) ? kExitSuccess : kExitFailure;
}

int RunVerify(std::span<char* const> args) {
  Arguments arguments;
  int exit_code = kExitSuccess;
  if (!ParseWithOneFile(args, {}, kVerifyUsage, &arguments, &exit_code)) return exit_code;
  const std::string& path = arguments.operands().front();
  int verdict = VerifyAppendedSignature(path.c_str());
  if (verdict < 0) return Failure("cannot read " + path);
  std::printf("%s: %s\n", path.c_str(), verdict == 1 ? "signature valid" : "signature invalid");
  return verdict == 1 ? kExitSuccess : kExitFailure;
}
