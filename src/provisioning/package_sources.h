// Where the package may be fetched from: the configured address template
// and its mirrors, in the order they are tried.
#pragma once
#include <string>
#include <vector>

#include "provisioning/config_value.h"

namespace tov {

// At most this many addresses: the first and its mirrors.
inline constexpr int kMaxPackageSources = 9;

// `ClientDownloadUrl`, then `ClientDownloadUrl2`, `ClientDownloadUrl3` ...
// as far as they go without a gap, each without a trailing CR. Empty when
// the first is absent.
std::vector<std::wstring> PackageSourceTemplates(const RemoteConfig& config);

}  // namespace tov
