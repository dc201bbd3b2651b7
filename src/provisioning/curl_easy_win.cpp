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

// What ended a transfer, in the terms the retry rules use.
tov::TransferEnd TransferEndOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return tov::TransferEnd::Complete;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return tov::TransferEnd::ConnectFailed;
    case CURLE_PARTIAL_FILE:
      return tov::TransferEnd::Cut;
    case CURLE_OPERATION_TIMEDOUT:
      return tov::TransferEnd::Stalled;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return tov::TransferEnd::Reset;
    case CURLE_WRITE_ERROR:
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_OUT_OF_MEMORY:
      return tov::TransferEnd::Local;
    default:
      return tov::TransferEnd::Refused;
  }
}

