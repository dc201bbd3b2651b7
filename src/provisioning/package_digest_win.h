// The package checks: SHA-256 of the package as it arrives (our own, see
// sha256.h), and the ECDSA P-256 signature over it, verified by the
// system's cryptography (CNG). Every call into bcrypt.dll is made in this
// file's source.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/unique_handle.h"
#include "provisioning/package_integrity.h"
#include "provisioning/sha256.h"

struct BCryptAlgorithmTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
// SHA-256 over blocks handed in one after the other, hashed at once on the
// caller's thread while each block is still in the cache. A thread of its
// own a few megabytes behind (tried, with the blocks copied to it) cost the
// download more under Wine than hashing in place: 44 % against 27 % of a
// 1 GiB download at full loopback speed on two cores.
class PackageDigest {
 public:
  PackageDigest() noexcept = default;
  PackageDigest(const PackageDigest&) = delete;
  PackageDigest& operator=(const PackageDigest&) = delete;

  // False once finished: such a digest takes no more blocks.
  bool ok() const { return !m_bFinished; }
  // False when the digest is finished.
  bool Add(const void* data, size_t size) noexcept;
  // The digest of everything added; once per object.
  bool Finish(tov::Sha256Digest& out) noexcept;

 private:
  tov::Sha256 m_hash;
  bool m_bFinished = false;
};

enum class SignatureCheck { Valid, Invalid, KeyUnusable };

// Whether `signature` (r||s) is the ECDSA signature of `digest` by `key`.
SignatureCheck VerifyPackageSignature(const tov::P256PublicKey& key, const tov::Sha256Digest& digest,
                                      const tov::P256Signature& signature) noexcept;
// The same against each of `keys`: Valid when any of them made it; KeyUnusable
// only when none of them could be used.
SignatureCheck VerifyByAnyKey(const std::vector<tov::P256PublicKey>& keys,
                              const tov::Sha256Digest& digest,
                              const tov::P256Signature& signature) noexcept;

// The outcome as one of the caller's own checks: `passed`, `refused` or
// `unusable`.
template <typename Check>
Check AsCheck(SignatureCheck outcome, Check passed, Check refused, Check unusable) {
  if (outcome == SignatureCheck::Valid) return passed;
  return outcome == SignatureCheck::Invalid ? refused : unusable;
}
