// The package checks: SHA-256 of the package as it arrives (our own, see
// sha256.h), and the ECDSA P-256 signature over it, verified by the
// system's cryptography (CNG). Every call into bcrypt.dll is made in this
// file's source.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>

#include "base/unique_handle.h"
#include "provisioning/package_integrity.h"
#include "provisioning/sha256.h"

struct BCryptAlgorithmTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
// SHA-256 over blocks handed in one after the other.
class PackageDigest {
 public:
  PackageDigest() noexcept = default;
  PackageDigest(const PackageDigest&) = delete;
  PackageDigest& operator=(const PackageDigest&) = delete;

  // False once finished: a finished digest yields no second value.
  bool ok() const { return !m_bFailed; }
  // False when the block could not be hashed.
  bool Add(const void* data, size_t size) noexcept;
  // The digest of everything added; once per object.
  bool Finish(tov::Sha256Digest& out) noexcept;

 private:
  tov::Sha256 m_hash;
  bool m_bFailed = false;
};

enum class SignatureCheck { Valid, Invalid, KeyUnusable };

// Whether `signature` (r||s) is the ECDSA signature of `digest` by `key`.
SignatureCheck VerifyPackageSignature(const tov::P256PublicKey& key, const tov::Sha256Digest& digest,
                                      const tov::P256Signature& signature) noexcept;
