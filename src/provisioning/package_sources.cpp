#include "provisioning/package_sources.h"

namespace tov {

std::vector<std::wstring> PackageSourceTemplates(const RemoteConfig& config) {
  std::vector<std::wstring> out;
  if (!config.downloadTemplate) return out;
  out.push_back(*config.downloadTemplate);
  for (const std::wstring& mirror : config.mirrorTemplates) {
    if (out.size() == static_cast<size_t>(kMaxPackageSources)) break;
    out.push_back(mirror);
  }
  return out;
}

}  // namespace tov
