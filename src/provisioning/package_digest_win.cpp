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

namespace {
// How far the hash may fall behind before the download waits for it.
constexpr size_t kBehindLimit = 8 * 1024 * 1024;
}  // namespace

PackageDigest::~PackageDigest() { Stop(); }

void PackageDigest::Stop() {
  if (!m_hasher.joinable()) return;
  {
    std::lock_guard<tov::FastMutex> hold(m_lock);
    m_closing = true;
  }
  m_changed.notify_all();
  m_hasher.join();
}

void PackageDigest::HashBehind() {
  for (;;) {
    std::vector<uint8_t> block;
    {
      std::unique_lock<tov::FastMutex> hold(m_lock);
      m_changed.wait(hold, [this] { return !m_waiting.empty() || m_closing; });
      if (m_waiting.empty()) return;  // closing, and everything is hashed
      block = std::move(m_waiting.front());
      m_waiting.pop_front();
    }
    m_hash.Add(block.data(), block.size());
    {
      std::lock_guard<tov::FastMutex> hold(m_lock);
      m_waitingBytes -= block.size();
    }
    m_changed.notify_all();
  }
}

bool PackageDigest::Add(const void* data, size_t size) noexcept {
  if (!ok()) return false;
  try {
    if (!m_hasher.joinable()) m_hasher = std::thread(&PackageDigest::HashBehind, this);
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> block(bytes, bytes + size);
    std::unique_lock<tov::FastMutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_waitingBytes < kBehindLimit; });
    m_waitingBytes += block.size();
    m_waiting.push_back(std::move(block));
  } catch (...) {
    m_bFailed = true;
    return false;
  }
  m_changed.notify_all();
  return true;
}

bool PackageDigest::Finish(tov::Sha256Digest& out) noexcept {
  if (!ok()) return false;
  // A finished hash cannot take more data or finish again.
  m_bFailed = true;
  Stop();
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
