#include "provisioning/config_value.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "provisioning/address_rules.h"

namespace tov {

namespace {

constexpr const wchar_t* kEntryUrlKey = L"EntryUrl";
constexpr const wchar_t* kCustomParametersKey = L"CustomParameters";
constexpr const wchar_t* kMinimumVersionKey = L"ClientMiniUpdateVersion";
constexpr const wchar_t* kDownloadUrlKey = L"ClientDownloadUrl";
constexpr const wchar_t* kVersionKey = L"ClientVersion";
constexpr const wchar_t* kPageHostsKey = L"PageHosts";

std::optional<std::wstring> Optional(const RemoteConfigMap& values, const wchar_t* key) {
  const std::wstring* value = FindConfigValue(values, key);
  return value ? std::optional<std::wstring>(*value) : std::nullopt;
}

std::optional<std::wstring> Address(const std::optional<std::wstring>& value) {
  return value ? std::optional<std::wstring>(WithoutTrailingCr(*value)) : std::nullopt;
}

std::vector<std::wstring> SplitHosts(const std::wstring& list) {
  std::vector<std::wstring> hosts;
  size_t begin = 0;
  for (;;) {
    size_t end = list.find(L';', begin);
    std::wstring host = list.substr(begin, end == std::wstring::npos ? end : end - begin);
    if (!host.empty()) hosts.push_back(host);
    if (end == std::wstring::npos) return hosts;
    begin = end + 1;
  }
}

// Every configuration published, the last one current. None is destroyed:
// a launch or a worker of an earlier window may still read its own.
struct Published {
  std::atomic<const RemoteConfig*> current{nullptr};
  std::mutex lock;
  std::vector<std::unique_ptr<const RemoteConfig>> all;
};

Published& Accepted() {
  static Published* published = new Published();
  return *published;
}

}  // namespace

RemoteConfig ReadRemoteConfig(RemoteConfigMap values, const std::string& builtInKeys, bool sealed) {
  RemoteConfig config;
  config.sealed = sealed;
  config.entryUrl = Address(Optional(values, kEntryUrlKey)).value_or(L"");
  config.customParameters = Optional(values, kCustomParametersKey).value_or(L"");
  config.minimumVersion = Optional(values, kMinimumVersionKey);
  config.downloadTemplate = Address(Optional(values, kDownloadUrlKey));
  for (int n = 2;; ++n) {
    std::optional<std::wstring> mirror =
        Address(Optional(values, (kDownloadUrlKey + std::to_wstring(n)).c_str()));
    if (!mirror) break;
    config.mirrorTemplates.push_back(*mirror);
  }
  config.version = Optional(values, kVersionKey);
  config.versionInUrl = Address(config.version);
  if (sealed) {
    config.pageHosts = SplitHosts(Address(Optional(values, kPageHostsKey)).value_or(L""));
  }
  config.package = ReadPackageExpectation(values, builtInKeys, sealed);
  config.values = std::move(values);
  return config;
}

const RemoteConfig* AcceptedRemoteConfig() {
  return Accepted().current.load(std::memory_order_acquire);
}

const RemoteConfig& PublishRemoteConfig(RemoteConfig config) {
  Published& published = Accepted();
  auto kept = std::make_unique<const RemoteConfig>(std::move(config));
  const RemoteConfig* current = kept.get();
  {
    std::lock_guard<std::mutex> hold(published.lock);
    published.all.push_back(std::move(kept));
  }
  published.current.store(current, std::memory_order_release);
  return *current;
}

}  // namespace tov
