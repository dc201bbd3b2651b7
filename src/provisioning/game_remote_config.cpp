#include "provisioning/game_remote_config.h"

#include "provisioning/remote_config.h"

CGameRemoteConfig& CGameRemoteConfig::Instance() {
  static CGameRemoteConfig instance;
  return instance;
}

const std::wstring* CGameRemoteConfig::FindConfigValue(const std::wstring& key) const {
  return tov::FindConfigValue(GetRemoteConfigMap(), key);
}

std::wstring CGameRemoteConfig::GetEntryUrl() const {
  const std::wstring* value = FindConfigValue(L"EntryUrl");
  return value ? *value : std::wstring();
}

std::wstring CGameRemoteConfig::GetCustomParameters() const {
  const std::wstring* value = FindConfigValue(L"CustomParameters");
  return value ? *value : std::wstring();
}
