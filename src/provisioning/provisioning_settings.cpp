#include "provisioning/provisioning_settings.h"

#include "base/launcher_settings.h"

namespace {

ProvisioningSettings*& Current() {
  static ProvisioningSettings* settings = new ProvisioningSettings(LauncherProvisioningSettings());
  return settings;
}

}  // namespace

ProvisioningSettings LauncherProvisioningSettings() {
  // By name: the fields that follow (certificate file, free-space probe)
  // keep their defaults, whatever their order.
  ProvisioningSettings settings;
  settings.configUrlTemplate = LauncherSettings::ConfigUrl;
  settings.limits = TransferLimits{30, 60, 30};
  return settings;
}

const ProvisioningSettings& CurrentProvisioningSettings() { return *Current(); }

void UseProvisioningSettings(const ProvisioningSettings& settings) {
  // The settings a worker of an earlier window may still read stay valid.
  Current() = new ProvisioningSettings(settings);
}
