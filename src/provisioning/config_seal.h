// The seal of a configuration in a keyed build. The body comes over plain
// HTTP, so whoever sits on the player's path could otherwise choose the
// entry page, replay an old package under any version, or hold the player
// on an old configuration for good. A keyed build therefore takes only a
// body that ends in the operator's signature and names its channel, a
// sequence number and an expiry time:
//
//   ...the configuration's lines...
//   ConfigChannel=<the profile's channel_name>
//   ConfigSequence=42
//   ConfigExpires=2026-12-24T00:00:00Z
//   ConfigSignature=<r||s, 128 hex digits>
//
// The signature is the ECDSA P-256 signature of the SHA-256 of every byte
// before "ConfigSignature=" (the LF that ends the line before it included),
// exactly as received.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "provisioning/package_integrity.h"
#include "provisioning/remote_config.h"

namespace tov {

inline constexpr const char* kConfigSignaturePrefix = "ConfigSignature=";
inline constexpr const wchar_t* kConfigChannelKey = L"ConfigChannel";
inline constexpr const wchar_t* kConfigSequenceKey = L"ConfigSequence";
inline constexpr const wchar_t* kConfigExpiresKey = L"ConfigExpires";

// Why a configuration was refused, in the order the checks are made.
enum class ConfigCheck {
  Passed,
  SignatureMissing,
  SignatureMalformed,
  KeyUnusable,
  SignatureRefused,
  ChannelMissing,
  ChannelMismatch,
  SequenceMissing,
  SequenceMalformed,
  SequenceLower,
  ExpiresMissing,
  ExpiresMalformed,
  Expired,
};

// The body cut at its signature line: the bytes the signature covers and
// the signature. `check` is SignatureMissing when the last line (one
// trailing CR, LF or CR LF aside) is no "ConfigSignature=" line, and
// SignatureMalformed when its value is not 128 hex digits.
struct SignedBody {
  ConfigCheck check = ConfigCheck::SignatureMissing;
  size_t signedLength = 0;
  P256Signature signature{};
};
SignedBody SplitSignedBody(const std::string& body);

// An unsigned decimal number of at most 64 bits: digits only, no sign, no
// blanks.
bool ParseUnsignedDecimal(const std::wstring& text, uint64_t& out);
// "YYYY-MM-DDTHH:MM:SSZ", a real date and time of day (UTC), as seconds
// since 1970-01-01T00:00:00Z.
bool ParseUtcTime(const std::wstring& text, int64_t& seconds);
std::wstring FormatUtcTime(int64_t seconds);

// The signed keys of a configuration that passed its signature.
struct ConfigSeal {
  std::wstring channel;
  uint64_t sequence = 0;
  int64_t expires = 0;
};

// What the launcher holds against the seal: its channel, the highest
// sequence this user has accepted (0 before the first) and the clock.
struct SealContext {
  std::wstring channel;
  uint64_t highestSequence = 0;
  int64_t now = 0;
};

struct ConfigVerdict {
  ConfigCheck check = ConfigCheck::Passed;
  std::wstring reason;  // the ERROR line's text; empty when passed
};

// Reads the signed keys from `values` into `seal` and checks them.
ConfigVerdict CheckConfigSeal(const RemoteConfigMap& values, const SealContext& context,
                              ConfigSeal& seal);
// The ERROR line of a check that refused, with what it found.
std::wstring ConfigRefusalText(ConfigCheck check, const std::wstring& detail = L"");

}  // namespace tov
