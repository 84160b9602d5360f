// What every part that calls OpenSSL shares (the Linux cryptography, and the key embedder that
// the build runs on Linux): owners for its objects, and a guard that keeps one call's failures
// out of the caller's view of the thread's OpenSSL error queue.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

/// Frees an OpenSSL object with `Free`, the function OpenSSL gives for its type.
template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

/// An OpenSSL object of type `T` that `Free` releases when its owner goes away.
template <typename T, auto Free>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree<Free>>;

using UniqueBignum = OpenSslPtr<BIGNUM, BN_free>;
using UniqueBio = OpenSslPtr<BIO, BIO_free_all>;
using UniqueDigest = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using UniqueKey = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;

/// Marks the thread's OpenSSL error queue and, when it goes away, drops every error queued
/// after the mark: a verdict or an error text of ours says all the caller needs.
class ErrorQueueMark {
 public:
  ErrorQueueMark() { ERR_set_mark(); }
  ~ErrorQueueMark() { ERR_pop_to_mark(); }
  ErrorQueueMark(const ErrorQueueMark&) = delete;
  ErrorQueueMark& operator=(const ErrorQueueMark&) = delete;
};
