#include "provisioning/package_sources.h"

#include "provisioning/address_rules.h"

namespace tov {

std::vector<std::wstring> PackageSourceTemplates(const RemoteConfigMap& config) {
  std::vector<std::wstring> out;
  for (int n = 1; n <= kMaxPackageSources; ++n) {
    std::wstring key = L"ClientDownloadUrl";
    if (n > 1) key += std::to_wstring(n);
    const std::wstring* value = FindConfigValue(config, key);
    if (!value) break;
    out.push_back(WithoutTrailingCr(*value));
  }
  return out;
}

}  // namespace tov
