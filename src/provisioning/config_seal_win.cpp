#include "provisioning/config_seal_win.h"

#include <windows.h>

#include "base/launcher_settings.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/package_digest_win.h"
#include "provisioning/sha256.h"

namespace {

// Beside the uninstall entry's name, but not inside it: an uninstall and a
// new install must not open the way back to an older configuration.
constexpr const wchar_t* kSequenceKeyPath = L"Software\\" TOV_REGISTRY_KEY_NAME;
constexpr const wchar_t* kSequenceValue = L"ConfigSequence";

void KeepConfigSequence(uint64_t sequence) {
  tov::UniqueRegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSequenceKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  // Decimal text, as the configuration has it: readable with any tool.
  const std::wstring text = std::to_wstring(sequence);
  ::RegSetValueExW(key.get(), kSequenceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

int64_t UtcNowSeconds() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  // 100 ns ticks since 1601-01-01; 11644473600 s from there to 1970.
  return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

tov::ConfigCheck VerifyBody(const std::string& bytes, const tov::SignedBody& split,
                            const std::string& builtInKeys) {
  std::vector<tov::P256PublicKey> keys;
  if (!tov::ParsePublicKeys(builtInKeys, keys)) return tov::ConfigCheck::KeyUnusable;
  tov::Sha256 hash;
  hash.Add(bytes.data(), split.signedLength);
  return AsCheck(VerifyByAnyKey(keys, hash.Finish(), split.signature), tov::ConfigCheck::Passed,
                 tov::ConfigCheck::SignatureRefused, tov::ConfigCheck::KeyUnusable);
}

}  // namespace

uint64_t HighestConfigSequence() {
  wchar_t text[32] = {};
  DWORD size = sizeof text;
  uint64_t sequence = 0;
  // Absent or not a number (only this user can have written it): none yet.
  if (::RegGetValueW(HKEY_CURRENT_USER, kSequenceKeyPath, kSequenceValue, RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS ||
      !tov::ParseUnsignedDecimal(text, sequence)) {
    return 0;
  }
  return sequence;
}

bool AcceptSealedConfig(const std::string& bytes, const std::string& builtInKeys,
                        tov::RemoteConfig& config, std::wstring& refusal) {
  const tov::SignedBody split = tov::SplitSignedBody(bytes);
  tov::ConfigCheck check = split.check;
  if (check == tov::ConfigCheck::Passed) check = VerifyBody(bytes, split, builtInKeys);
  if (check != tov::ConfigCheck::Passed) {
    refusal = tov::ConfigRefusalText(check);
    return false;
  }
  RemoteConfigMap values;
  tov::ParseConfigBody(AnsiToWide(bytes.substr(0, split.signedLength)), values);
  tov::ConfigSeal seal;
  tov::ConfigVerdict verdict = tov::CheckConfigSeal(
      values, {LauncherSettings::ChannelName, HighestConfigSequence(), UtcNowSeconds()}, seal);
  if (verdict.check != tov::ConfigCheck::Passed) {
    refusal = verdict.reason;
    return false;
  }
  config = tov::ReadRemoteConfig(std::move(values), builtInKeys, true);
  config.seal = seal;
  // Only ever raised: an equal sequence is the same configuration again.
  if (seal.sequence > HighestConfigSequence()) KeepConfigSequence(seal.sequence);
  return true;
}
