// The libcurl easy handle of a transfer, and the bounds every transfer of
// the launcher runs with.
#pragma once
#include <curl/curl.h>

#include <memory>
#include <string>

#include "provisioning/transfer_retry.h"

struct CurlEasyCleanup {
  void operator()(CURL* curl) const noexcept { curl_easy_cleanup(curl); }
};
using UniqueCurl = std::unique_ptr<CURL, CurlEasyCleanup>;

// Redirects followed within the configured count (libcurl of this vintage
// follows them without end) and only to the schemes the configuration's
// base allows (RedirectProtocols); a connection that is not made in time or
// that stalls ends the transfer as a failure instead of an endless wait.
// Certificates are checked against the settings' CA file when they name one.
// The transfer to `url` goes the way the user's Internet settings send it
// (system_proxy_win.h), which one INFO line of `operation` tells.
void ApplyTransferLimits(CURL* curl, const std::string& url, const char* operation);

// What ended a transfer, in the terms the retry rules use.
tov::TransferEnd TransferEndOf(CURLcode code);
