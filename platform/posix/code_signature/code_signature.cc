// Code signatures in the layout of signed Linux kernel modules: the content, a DER CMS
// (PKCS #7) signature over it, a 12-byte descriptor, and the marker "~Module signature
// appended~\n". The run of such blocks at the end of a file is its certificate table; a file
// verifies when it ends in exactly one block, whose signature over the content in front of it
// verifies with a chain to a root of the system trust store (SSL_CERT_FILE and SSL_CERT_DIR
// select another; no revocation check).
#include "platform/code_signature.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_stream.h"
#include "platform/posix/openssl_support.h"

namespace {

constexpr std::string_view kMarker = "~Module signature appended~\n";
constexpr size_t kDescriptorBytes = 12;
constexpr size_t kBlockTailBytes = kDescriptorBytes + 28;
constexpr uint8_t kIdTypePkcs7 = 2;
constexpr uint64_t kMaxSignatureBytes = 1 << 20;

using UniqueCms = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using UniqueStore = OpenSslPtr<X509_STORE, X509_STORE_free>;
using UniqueX509 = OpenSslPtr<X509, X509_free>;
using UniqueBioMethod = OpenSslPtr<BIO_METHOD, BIO_meth_free>;

void FreeCertificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
void FreeSignerList(STACK_OF(X509) * signers) { sk_X509_free(signers); }
using UniqueCertificates = OpenSslPtr<STACK_OF(X509), FreeCertificates>;
using UniqueSignerList = OpenSslPtr<STACK_OF(X509), FreeSignerList>;

// The reason OpenSSL gives for the last failure, or `fallback`; the queue is left empty.
std::string OpenSslReason(const char* fallback) {
  const char* reason = ERR_reason_error_string(ERR_peek_last_error());
  std::string text = reason != nullptr ? reason : fallback;
  ERR_clear_error();
  return text;
}

// ---- The certificate table: signature blocks at the end of the file -------------------------

struct SignatureBlock {
  uint64_t content_size = 0;  // the bytes in front of the signature, which it covers
  uint64_t signature_size = 0;
};

bool ReadAt(std::FILE* stream, uint64_t offset, size_t length, std::string* out) {
  out->resize(length);
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 &&
         std::fread(out->data(), 1, length, stream) == length;
}

uint64_t BigEndian32(std::string_view bytes) {
  uint64_t value = 0;
  for (char byte : bytes) value = value << 8 | static_cast<uint8_t>(byte);
  return value;
}

// A CMS signature leaves every field of the descriptor but the identifier type and the
// length zero (algorithm, hash, signer and key-identifier lengths, padding).
bool IsPkcs7Descriptor(std::string_view descriptor) {
  for (size_t i = 0; i < 8; ++i) {
    uint8_t expected = i == 2 ? kIdTypePkcs7 : 0;
    if (static_cast<uint8_t>(descriptor[i]) != expected) return false;
  }
  return true;
}

// Walks the blocks from the end of the file: the count of them, and the last one (the one that
// ends the file). False when a block that carries the marker is malformed.
bool ReadCertificateTable(std::FILE* stream, uint64_t file_size, size_t* count, SignatureBlock* last,
                          std::string* error) {
  *count = 0;
  std::string tail;
  for (uint64_t end = file_size; end >= kBlockTailBytes; ++*count) {
    if (!ReadAt(stream, end - kBlockTailBytes, kBlockTailBytes, &tail)) {
      *error = "cannot read the file";
      return false;
    }
    if (std::string_view(tail).substr(kDescriptorBytes) != kMarker) return true;
    uint64_t signature_size = BigEndian32(std::string_view(tail).substr(8, 4));
    if (!IsPkcs7Descriptor(tail) || signature_size == 0 || signature_size > end - kBlockTailBytes) {
      *error = "malformed signature block";
      return false;
    }
    end -= kBlockTailBytes + signature_size;
    if (*count == 0) *last = {end, signature_size};
  }
  return true;
}

// ---- A read-only BIO over the first bytes of a stream, so that the content is digested as
// it streams by instead of being loaded whole ------------------------------------------------

struct BoundedStream {
  std::FILE* stream;
  uint64_t remaining;
};

int BoundedRead(BIO* bio, char* out, size_t size, size_t* read) {
  auto* source = static_cast<BoundedStream*>(BIO_get_data(bio));
  size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, source->remaining));
  *read = wanted == 0 ? 0 : std::fread(out, 1, wanted, source->stream);
  source->remaining -= *read;
  return *read > 0 ? 1 : 0;
}

long BoundedControl(BIO* bio, int command, long, void*) {
  auto* source = static_cast<BoundedStream*>(BIO_get_data(bio));
  if (command == BIO_CTRL_EOF) return source->remaining == 0 ? 1 : 0;
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

UniqueBioMethod MakeBoundedMethod() {
  UniqueBioMethod method(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "bounded"));
  if (method &&
      (!BIO_meth_set_read_ex(method.get(), BoundedRead) || !BIO_meth_set_ctrl(method.get(), BoundedControl))) {
    return nullptr;
  }
  return method;
}

// ---- The signer ----------------------------------------------------------------------------

std::string NameEntry(const X509_NAME* name, int nid) {
  int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return {};
  ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  int length = ASN1_STRING_to_UTF8(&utf8, data);
  if (length < 0) return {};
  std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
  OPENSSL_free(utf8);
  return text;
}

std::string FirstEmailAddress(X509* certificate) {
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  std::string address;
  for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type != GEN_EMAIL) continue;
    address.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.rfc822Name)),
                   static_cast<size_t>(ASN1_STRING_length(name->d.rfc822Name)));
    break;
  }
  GENERAL_NAMES_free(names);
  return address;
}

std::string SimpleDisplayName(X509* certificate) {
  const X509_NAME* subject = X509_get_subject_name(certificate);
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName}) {
    std::string text = NameEntry(subject, nid);
    if (!text.empty()) return text;
  }
  std::string email = NameEntry(subject, NID_pkcs9_emailAddress);
  return email.empty() ? FirstEmailAddress(certificate) : email;
}

// Code signing is what the signature is for; a certificate restricted to other uses does
// not qualify, one without restrictions does.
bool AllowsCodeSigning(X509* certificate) {
  uint32_t usages = X509_get_extended_key_usage(certificate);
  return usages == UINT32_MAX || (usages & XKU_CODE_SIGN) != 0;
}

UniqueStore MakeTrustStore() {
  UniqueStore store(X509_STORE_new());
  if (!store || X509_STORE_set_default_paths(store.get()) != 1) return nullptr;
  // The verification's own S/MIME purpose would refuse code-signing certificates; the usage
  // is checked by AllowsCodeSigning instead.
  X509_VERIFY_PARAM_set_purpose(X509_STORE_get0_param(store.get()), X509_PURPOSE_ANY);
  return store;
}

bool VerifySignedContent(std::FILE* stream, const SignatureBlock& block, std::string* signer_name, std::string* error) {
  std::string der;
  if (block.signature_size > kMaxSignatureBytes ||
      !ReadAt(stream, block.content_size, static_cast<size_t>(block.signature_size), &der)) {
    *error = "cannot read the signature";
    return false;
  }
  auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
  UniqueCms cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
  UniqueStore store = MakeTrustStore();
  UniqueBioMethod method = MakeBoundedMethod();
  UniqueBio content(method ? BIO_new(method.get()) : nullptr);
  if (!cms || !store || !content || fseeko(stream, 0, SEEK_SET) != 0) {
    *error = cms ? "cannot set up the verification" : "the signature is not CMS signed data";
    return false;
  }
  BoundedStream source{stream, block.content_size};
  BIO_set_data(content.get(), &source);
  BIO_set_init(content.get(), 1);
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, CMS_BINARY) != 1) {
    *error = "signature does not verify: " + OpenSslReason("unknown reason");
    return false;
  }
  UniqueSignerList signers(CMS_get0_signers(cms.get()));
  X509* signer = signers && sk_X509_num(signers.get()) > 0 ? sk_X509_value(signers.get(), 0) : nullptr;
  if (signer == nullptr || !AllowsCodeSigning(signer)) {
    *error = signer ? "the signer's certificate is not for code signing" : "no signer";
    return false;
  }
  *signer_name = SimpleDisplayName(signer);
  return true;
}

// ---- Signing ---------------------------------------------------------------------------------

UniqueCertificates ReadCertificates(std::string_view pem) {
  UniqueBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  UniqueCertificates certificates(sk_X509_new_null());
  if (!bio || !certificates) return nullptr;
  while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    sk_X509_push(certificates.get(), certificate);
  }
  ERR_clear_error();  // the end of the text reads as a failure
  return certificates;
}

std::string DescriptorAndMarker(size_t signature_size) {
  std::string tail(kDescriptorBytes, '\0');
  tail[2] = static_cast<char>(kIdTypePkcs7);
  for (size_t i = 0; i < 4; ++i) {
    tail[8 + i] = static_cast<char>((signature_size >> (8 * (3 - i))) & 0xFF);
  }
  return tail.append(kMarker);
}

bool VerifyStream(std::FILE* stream, std::string* signer_name, std::string* error) {
  ErrorQueueMark error_mark;
  struct stat status;
  if (stream == nullptr || fstat(fileno(stream), &status) != 0) {
    *error = "cannot open the file";
    return false;
  }
  size_t count = 0;
  SignatureBlock block;
  if (!ReadCertificateTable(stream, static_cast<uint64_t>(status.st_size), &count, &block, error)) {
    return false;
  }
  if (count != 1) {
    *error = count == 0 ? "no code signature" : std::to_string(count) + " code signatures, exactly one is accepted";
    return false;
  }
  return VerifySignedContent(stream, block, signer_name, error);
}

bool AppendSignature(std::string_view certificate_pem, std::string_view key_pem, std::string* image,
                     std::string* error) {
  ErrorQueueMark error_mark;
  if (image->size() > INT_MAX || certificate_pem.size() > INT_MAX || key_pem.size() > INT_MAX) {
    *error = "file too large to sign";
    return false;
  }
  UniqueCertificates certificates = ReadCertificates(certificate_pem);
  UniqueBio key_bio(BIO_new_mem_buf(key_pem.data(), static_cast<int>(key_pem.size())));
  UniqueKey key(key_bio ? PEM_read_bio_PrivateKey(key_bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!certificates || sk_X509_num(certificates.get()) == 0 || !key) {
    *error = !key ? "no private key in the key file" : "no certificate in the certificate file";
    ERR_clear_error();
    return false;
  }
  // The signer is the first certificate; the stack that travels along holds the others.
  UniqueX509 signer(sk_X509_shift(certificates.get()));
  if (X509_check_private_key(signer.get(), key.get()) != 1) {
    *error = "the key does not belong to the certificate";
    ERR_clear_error();
    return false;
  }
  UniqueBio content(BIO_new_mem_buf(image->data(), static_cast<int>(image->size())));
  UniqueCms cms(content ? CMS_sign(signer.get(), key.get(), certificates.get(), content.get(),
                                   CMS_BINARY | CMS_DETACHED | CMS_NOSMIMECAP)
                        : nullptr);
  unsigned char* der = nullptr;
  int der_size = cms ? i2d_CMS_ContentInfo(cms.get(), &der) : -1;
  if (der_size <= 0) {
    *error = "signing failed: " + OpenSslReason("unknown reason");
    return false;
  }
  image->append(reinterpret_cast<const char*>(der), static_cast<size_t>(der_size));
  OPENSSL_free(der);
  image->append(DescriptorAndMarker(static_cast<size_t>(der_size)));
  return true;
}

// The checks above say why in words alone: there is no system number to carry.
platform::Error Refused(std::string reason) {
  return platform::Refusal(platform::ErrorKind::kOther, std::move(reason));
}

}  // namespace

platform::Result<std::string> VerifyFileCodeSignature(const char* path) {
  UniqueStream stream = OpenBinaryStream(path);
  return VerifyStreamCodeSignature(stream.get());
}

platform::Result<std::string> VerifyStreamCodeSignature(std::FILE* stream) {
  std::string signer, reason;
  if (!VerifyStream(stream, &signer, &reason)) return Refused(std::move(reason));
  return signer;
}

bool HasCodeSignature(std::string_view image) { return image.ends_with(kMarker); }

bool AppendCodeSignature(std::string_view certificate_pem, std::string_view key_pem, std::string* image,
                         platform::Error* error) {
  std::string reason;
  if (AppendSignature(certificate_pem, key_pem, image, &reason)) return true;
  *error = Refused(std::move(reason));
  return false;
}
