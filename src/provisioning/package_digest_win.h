// The package checks' use of the system's cryptography (CNG): SHA-256 of
// the package as it arrives, and the ECDSA P-256 signature over it. Every
// call into bcrypt.dll is made in this file's source.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>

#include "base/unique_handle.h"
#include "provisioning/package_integrity.h"

struct BCryptAlgorithmTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct BCryptHashTraits {
  static BCRYPT_HASH_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
};

// SHA-256 over blocks handed in one after the other.
class PackageDigest {
 public:
  PackageDigest() noexcept;
  PackageDigest(const PackageDigest&) = delete;
  PackageDigest& operator=(const PackageDigest&) = delete;

  // False once the system could not start or continue the hash; a failed
  // digest stays failed and never yields a value.
  bool ok() const { return m_hash && !m_bFailed; }
  // False when the block could not be hashed.
  bool Add(const void* data, size_t size) noexcept;
  // The digest of everything added; once per object.
  bool Finish(tov::Sha256Digest& out) noexcept;

 private:
  // Declared first: the hash is destroyed before its provider is closed.
  tov::UniqueHandle<BCRYPT_ALG_HANDLE, BCryptAlgorithmTraits> m_algorithm;
  tov::UniqueHandle<BCRYPT_HASH_HANDLE, BCryptHashTraits> m_hash;
  bool m_bFailed = false;
};

enum class SignatureCheck { Valid, Invalid, KeyUnusable };

// Whether `signature` (r||s) is the ECDSA signature of `digest` by `key`.
SignatureCheck VerifyPackageSignature(const tov::P256PublicKey& key, const tov::Sha256Digest& digest,
                                      const tov::P256Signature& signature) noexcept;
