#include "provisioning/curl_easy_win.h"

#include "base/launcher_log.h"
#include "base/text_win.h"
#include "provisioning/address_rules.h"
#include "provisioning/provisioning_settings.h"
#include "provisioning/system_proxy_win.h"

namespace {

// Whether the proxy takes a connection at all: one that is down is passed
// over for the next in the list before any byte of the transfer goes out.
bool ProxyAccepts(const tov::ProxyRoute& route, long connectSeconds) {
  UniqueCurl probe(curl_easy_init());
  if (!probe) return false;
  std::string host = route.host.find(':') != std::string::npos ? "[" + route.host + "]" : route.host;
  std::string address = "http://" + host + ":" + std::to_string(route.port) + "/";
  curl_easy_setopt(probe.get(), CURLOPT_URL, address.c_str());
  curl_easy_setopt(probe.get(), CURLOPT_PROXY, "");
  curl_easy_setopt(probe.get(), CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(probe.get(), CURLOPT_CONNECTTIMEOUT, connectSeconds);
  return curl_easy_perform(probe.get()) == CURLE_OK;
}

void ApplyProxyRoute(CURL* curl, const std::string& url, long connectSeconds, const char* operation) {
  SystemProxy system = SystemProxyFor(url);
  tov::ProxyRoute route = tov::ChooseRoute(
      system.routes, [&](const tov::ProxyRoute& r) { return ProxyAccepts(r, connectSeconds); });
  tov::CurlProxySettings settings = tov::CurlSettingsFor(route, system.bypass);
  // Libcurl copies the strings it is given.
  curl_easy_setopt(curl, CURLOPT_PROXY, settings.proxy.c_str());
  if (!route.direct) {
    curl_easy_setopt(curl, CURLOPT_NOPROXY, settings.noProxy.c_str());
    if (settings.basicCredentials) {
      curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, route.user.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, route.password.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    } else {
      // No name given: the logged-on user's own, through the system's
      // security support, when the proxy asks for them.
      curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, ":");
      curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM));
    }
  }
  tov::AddressParts parts;
  std::string host = tov::SplitAddress(url, parts) ? parts.host : std::string();
  LOG_INFO(AnsiToWide(tov::RouteLogText(route, host)), operation);
}

}  // namespace

void ApplyTransferLimits(CURL* curl, const std::string& url, const char* operation) {
  const ProvisioningSettings& settings = CurrentProvisioningSettings();
  const TransferLimits& limits = settings.limits;
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, tov::RedirectProtocols(settings.configUrlTemplate));
  if (!settings.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
  ApplyProxyRoute(curl, url, limits.connectSeconds, operation);
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

