// The package checks: SHA-256 of the package as it arrives (our own, see
// sha256.h), and the ECDSA P-256 signature over it, verified by the
// system's cryptography (CNG). Every call into bcrypt.dll is made in this
// file's source.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <thread>
#include <vector>

#include "base/fast_sync.h"

#include "base/unique_handle.h"
#include "provisioning/package_integrity.h"
#include "provisioning/sha256.h"

struct BCryptAlgorithmTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
// SHA-256 over blocks handed in one after the other. The hash runs on a
// thread of its own, a few megabytes behind the blocks, so that the
// download's thread only copies them: hashed on that thread, even with the
// processor's instructions, the check would cost a fast line about a third
// of its speed.
class PackageDigest {
 public:
  PackageDigest() noexcept = default;
  ~PackageDigest();
  PackageDigest(const PackageDigest&) = delete;
  PackageDigest& operator=(const PackageDigest&) = delete;

  // False once finished or after a block could not be taken: such a digest
  // never yields a value.
  bool ok() const { return !m_bFailed; }
  // False when the block could not be taken.
  bool Add(const void* data, size_t size) noexcept;
  // The digest of everything added, once the hash has caught up; once per
  // object.
  bool Finish(tov::Sha256Digest& out) noexcept;

 private:
  void HashBehind();
  void Stop();

  tov::Sha256 m_hash;
  bool m_bFailed = false;
  tov::FastMutex m_lock;
  tov::FastCondition m_changed;
  std::deque<std::vector<uint8_t>> m_waiting;
  size_t m_waitingBytes = 0;
  bool m_closing = false;
  std::thread m_hasher;
};

enum class SignatureCheck { Valid, Invalid, KeyUnusable };

// Whether `signature` (r||s) is the ECDSA signature of `digest` by `key`.
SignatureCheck VerifyPackageSignature(const tov::P256PublicKey& key, const tov::Sha256Digest& digest,
                                      const tov::P256Signature& signature) noexcept;
