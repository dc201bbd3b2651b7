#include "provisioning/package_digest_win.h"

#include <cstring>

namespace {

struct KeyTraits {
  static BCRYPT_KEY_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_KEY_HANDLE h) { ::BCryptDestroyKey(h); }
};

using UniqueAlgorithm = tov::UniqueHandle<BCRYPT_ALG_HANDLE, BCryptAlgorithmTraits>;
using UniqueKey = tov::UniqueHandle<BCRYPT_KEY_HANDLE, KeyTraits>;

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

bool PackageDigest::Add(const void* data, size_t size) noexcept {
  if (!ok()) return false;
  m_hash.Add(data, size);
  return true;
}

bool PackageDigest::Finish(tov::Sha256Digest& out) noexcept {
  if (!ok()) return false;
  m_bFinished = true;
  out = m_hash.Finish();
  return true;
}

SignatureCheck VerifyPackageSignature(const tov::P256PublicKey& key, const tov::Sha256Digest& digest,
                                      const tov::P256Signature& signature) noexcept {
  UniqueAlgorithm algorithm;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
    return SignatureCheck::KeyUnusable;
  }
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size<tov::P256PublicKey>::value] = {};
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(key.size() / 2)};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.data(), key.size());
  UniqueKey handle;
  if (!Succeeded(::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, handle.put(),
                                       blob, sizeof blob, 0))) {
    return SignatureCheck::KeyUnusable;
  }
  NTSTATUS status = ::BCryptVerifySignature(
      handle.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
      const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0);
  return status == 0 ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

SignatureCheck VerifyByAnyKey(const std::vector<tov::P256PublicKey>& keys,
                              const tov::Sha256Digest& digest,
                              const tov::P256Signature& signature) noexcept {
  SignatureCheck result = SignatureCheck::KeyUnusable;
  for (const tov::P256PublicKey& key : keys) {
    SignatureCheck check = VerifyPackageSignature(key, digest, signature);
    if (check == SignatureCheck::Valid) return check;
    if (check == SignatureCheck::Invalid) result = check;
  }
  return result;
}
