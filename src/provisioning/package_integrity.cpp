#include "provisioning/package_integrity.h"

#include "provisioning/address_rules.h"
#include "provisioning/config_seal.h"

namespace tov {

namespace {

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

template <typename Text>
bool ParseHexBytes(const Text& text, uint8_t* out, size_t count) {
  if (text.size() != 2 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    int high = HexValue(static_cast<wchar_t>(text[2 * i]));
    int low = HexValue(static_cast<wchar_t>(text[2 * i + 1]));
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

}  // namespace

bool ParseSha256Hex(const std::wstring& text, Sha256Digest& out) {
  return ParseHexBytes(WithoutTrailingCr(text), out.data(), out.size());
}

bool ParseSignatureHex(const std::wstring& text, P256Signature& out) {
  return ParseHexBytes(WithoutTrailingCr(text), out.data(), out.size());
}

bool ParsePublicKeyHex(const std::string& text, P256PublicKey& out) {
  // Only the uncompressed form: a compressed point would need the curve's
  // arithmetic to recover Y.
  if (text.size() != 2 + 2 * out.size() || text.compare(0, 2, "04") != 0) return false;
  return ParseHexBytes(text.substr(2), out.data(), out.size());
}

bool ParsePublicKeys(const std::string& text, std::vector<P256PublicKey>& out) {
  out.clear();
  size_t begin = 0;
  for (;;) {
    size_t end = text.find(';', begin);
    P256PublicKey key{};
    if (!ParsePublicKeyHex(text.substr(begin, end == std::string::npos ? end : end - begin), key)) {
      return false;
    }
    out.push_back(key);
    if (end == std::string::npos) return true;
    begin = end + 1;
  }
}

std::string ToHex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * count);
  for (size_t i = 0; i < count; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

std::wstring PackageCheckText(PackageCheck check) {
  switch (check) {
    case PackageCheck::Passed:
      return L"";
    case PackageCheck::HashMissing:
      return L"package check: ClientPackageSha256 is NotFound!";
    case PackageCheck::HashMalformed:
      return L"package check: ClientPackageSha256 is not 64 hex digits";
    case PackageCheck::SignatureMissing:
      return L"package check: ClientPackageSignature is NotFound!";
    case PackageCheck::SignatureMalformed:
      return L"package check: ClientPackageSignature is not 128 hex digits";
    case PackageCheck::KeyUnusable:
      return L"package check: the built-in public key is unusable";
    case PackageCheck::SignatureRefused:
      return L"package check: ClientPackageSignature is not a signature of ClientPackageSha256 "
             L"by the built-in key";
    case PackageCheck::SizeMalformed:
      return L"package check: ClientPackageSize is not an unsigned decimal number";
    case PackageCheck::SizeExceeded:
      return L"package check: the package is larger than ClientPackageSize";
    case PackageCheck::DigestFailed:
      return L"package check: the package's SHA-256 could not be computed";
    case PackageCheck::HashMismatch:
      return L"package check: the package's SHA-256 differs from ClientPackageSha256";
  }
  return L"package check failed";
}

PackageExpectation ReadPackageExpectation(const RemoteConfigMap& config,
                                          const std::string& builtInKeys, bool sealed) {
  PackageExpectation expected;
  const bool keyed = !builtInKeys.empty();
  const std::wstring* hash = FindConfigValue(config, kPackageSha256Key);
  if (!hash) {
    if (keyed) expected.fault = PackageCheck::HashMissing;
    return expected;
  }
  if (!ParseSha256Hex(*hash, expected.sha256)) {
    expected.fault = PackageCheck::HashMalformed;
    return expected;
  }
  expected.hashed = true;
  if (!keyed) return expected;

  const std::wstring* size = sealed ? FindConfigValue(config, kPackageSizeKey) : nullptr;
  if (size && !ParseUnsignedDecimal(WithoutTrailingCr(*size), expected.maxSize)) {
    expected.fault = PackageCheck::SizeMalformed;
    return expected;
  }
  expected.capped = size != nullptr;
  const std::wstring* signature = FindConfigValue(config, kPackageSignatureKey);
  if (!signature && sealed) return expected;
  if (!signature) {
    expected.fault = PackageCheck::SignatureMissing;
  } else if (!ParseSignatureHex(*signature, expected.signature)) {
    expected.fault = PackageCheck::SignatureMalformed;
  } else if (!ParsePublicKeys(builtInKeys, expected.keys)) {
    // A key that was meant to be there must never turn into no key.
    expected.fault = PackageCheck::KeyUnusable;
  } else {
    expected.signedBy = true;
  }
  return expected;
}

PackageCheck CompareDigest(const PackageExpectation& expected, const Sha256Digest& actual) {
  return expected.sha256 == actual ? PackageCheck::Passed : PackageCheck::HashMismatch;
}

}  // namespace tov
