// What the launcher checks about a package before it unpacks it. Anyone
// between the player and the package server could otherwise hand the
// launcher a program of their own, which it would unpack and later start.
//
// A build may carry the operator's public key (ECDSA P-256). Then the
// configuration must name the package's SHA-256 and a signature over that
// digest made with the operator's private key. Without a key, a SHA-256 in
// the configuration is still compared, which catches a corrupt or cut
// package that happens to unpack. Both values are hex: the configuration's
// grammar ends a value at its second "=", so base64 padding would be lost.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "provisioning/remote_config.h"

namespace tov {

inline constexpr const wchar_t* kPackageSha256Key = L"ClientPackageSha256";
inline constexpr const wchar_t* kPackageSignatureKey = L"ClientPackageSignature";
inline constexpr const wchar_t* kPackageSizeKey = L"ClientPackageSize";

using Sha256Digest = std::array<uint8_t, 32>;
// The raw form CNG verifies: r then s, 32 bytes each, big-endian.
using P256Signature = std::array<uint8_t, 64>;
// The point's X then Y, 32 bytes each, big-endian.
using P256PublicKey = std::array<uint8_t, 64>;

// Exactly 2 * N hex digits of either case, after one trailing CR is
// dropped (a configuration served with CR LF line ends); false otherwise,
// with `out` unspecified.
bool ParseSha256Hex(const std::wstring& text, Sha256Digest& out);
bool ParseSignatureHex(const std::wstring& text, P256Signature& out);
// The uncompressed point as the build option holds it: "04", X, Y in hex.
bool ParsePublicKeyHex(const std::string& text, P256PublicKey& out);
// One or more such points separated by ";", so that an operator can add the
// next key before retiring the old one; false unless every one parses.
bool ParsePublicKeys(const std::string& text, std::vector<P256PublicKey>& out);

std::string ToHex(const uint8_t* bytes, size_t count);

// The outcome of the checks, in the order they are made.
enum class PackageCheck {
  Passed,
  HashMissing,
  HashMalformed,
  SignatureMissing,
  SignatureMalformed,
  KeyUnusable,
  SignatureRefused,
  SizeMalformed,
  DigestFailed,
  HashMismatch,
  SizeExceeded,
};

// The ERROR line that names the check which failed; empty for Passed.
std::wstring PackageCheckText(PackageCheck check);

// What the configuration asks of the package, read before the transfer.
struct PackageExpectation {
  PackageCheck fault = PackageCheck::Passed;  // the values cannot be used
  bool hashed = false;     // the package's SHA-256 is compared with `sha256`
  bool signedBy = false;   // `signature` over `sha256` is verified with `keys`
  bool capped = false;     // the transfer stops beyond `maxSize` bytes
  uint64_t maxSize = 0;
  Sha256Digest sha256{};
  P256Signature signature{};
  std::vector<P256PublicKey> keys;
};

// `builtInKeys`: the hex of the build's public keys, empty when there is
// none. With keys the SHA-256 is required, and so is the signature unless
// the configuration is `sealed` (its own signature then binds the SHA-256
// to the version; a signature that is there is still verified). Without
// keys the SHA-256 is optional and a signature is ignored (there is nothing
// to verify it with). ClientPackageSize counts only from a sealed
// configuration. A value that is present is always held to its form.
PackageExpectation ReadPackageExpectation(const RemoteConfigMap& config,
                                          const std::string& builtInKeys, bool sealed = false);

// The comparison after the transfer.
PackageCheck CompareDigest(const PackageExpectation& expected, const Sha256Digest& actual);

}  // namespace tov
