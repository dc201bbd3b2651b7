#include "provisioning/game_remote_config.h"

#include "provisioning/config_value.h"

CGameRemoteConfig& CGameRemoteConfig::Instance() {
  static CGameRemoteConfig instance;
  return instance;
}

const std::wstring* CGameRemoteConfig::FindConfigValue(const std::wstring& key) const {
  const tov::RemoteConfig* config = tov::AcceptedRemoteConfig();
  return config ? tov::FindConfigValue(config->values, key) : nullptr;
}

std::wstring CGameRemoteConfig::GetEntryUrl() const {
  const tov::RemoteConfig* config = tov::AcceptedRemoteConfig();
  return config ? config->entryUrl : std::wstring();
}

std::wstring CGameRemoteConfig::GetCustomParameters() const {
  const tov::RemoteConfig* config = tov::AcceptedRemoteConfig();
  return config ? config->customParameters : std::wstring();
}
