// The remote configuration as the provisioning worker holds it: read once
// from the body, then handed to every step that needs a value of it. Each
// key name the launcher reads is written here and nowhere else.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "provisioning/config_seal.h"
#include "provisioning/package_integrity.h"
#include "provisioning/remote_config.h"

namespace tov {

struct RemoteConfig {
  // Every pair of the body as its grammar reads it (the first line of a key
  // wins, nothing trimmed).
  RemoteConfigMap values;
  // The body passed the seal of a keyed build: signature, channel,
  // sequence and expiry.
  bool sealed = false;
  ConfigSeal seal;

  // Addresses and the version that goes into them lose one trailing CR (a
  // body served with CR LF line ends); the other values are as received.
  std::wstring entryUrl;                 // EntryUrl; empty when absent
  std::wstring customParameters;         // CustomParameters; empty when absent
  std::optional<std::wstring> minimumVersion;   // ClientMiniUpdateVersion
  std::optional<std::wstring> downloadTemplate; // ClientDownloadUrl
  // ClientDownloadUrl2, ClientDownloadUrl3, ... in order, up to the first
  // number missing.
  std::vector<std::wstring> mirrorTemplates;
  std::optional<std::wstring> version;        // ClientVersion, as received
  std::optional<std::wstring> versionInUrl;   // the same, for the address
  // PageHosts, ";"-separated host names the page may show besides the
  // entry's host; honoured only from a sealed body.
  std::vector<std::wstring> pageHosts;
  // What the package must be.
  PackageExpectation package;
};

// Reads `values` into the configuration. `builtInKeys`: the build's public
// keys (empty when unkeyed); `sealed`: the body passed its seal.
RemoteConfig ReadRemoteConfig(RemoteConfigMap values, const std::string& builtInKeys, bool sealed);

// The configuration the worker accepted, for the launch on the
// user-interface thread; null until then. Published once per worker and
// never destroyed, so a thread running while the process exits can still
// read it; the worker goes on with the published object.
const RemoteConfig* AcceptedRemoteConfig();
const RemoteConfig& PublishRemoteConfig(RemoteConfig config);

}  // namespace tov
