#include "provisioning/provisioning_settings.h"

#include "base/launcher_settings.h"

namespace {

ProvisioningSettings*& Current() {
  static ProvisioningSettings* settings = new ProvisioningSettings(LauncherProvisioningSettings());
  return settings;
}

}  // namespace

ProvisioningSettings LauncherProvisioningSettings() {
  // By name past the first two: a null given by position would land on
  // whichever field comes third.
  ProvisioningSettings settings{LauncherSettings::ConfigUrl, TransferLimits{30, 60, 30}};
  settings.packagePublicKey = LauncherSettings::PackagePublicKey;
  return settings;
}

const ProvisioningSettings& CurrentProvisioningSettings() { return *Current(); }

void UseProvisioningSettings(const ProvisioningSettings& settings) {
  // The settings a worker of an earlier window may still read stay valid.
  Current() = new ProvisioningSettings(settings);
}
