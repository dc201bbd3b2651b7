#include "provisioning/curl_easy_win.h"

#include "provisioning/address_rules.h"
#include "provisioning/provisioning_settings.h"

void ApplyTransferLimits(CURL* curl) {
  const ProvisioningSettings& settings = CurrentProvisioningSettings();
  const TransferLimits& limits = settings.limits;
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, tov::RedirectProtocols(settings.configUrlTemplate));
  if (!settings.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
}
