#include "provisioning/system_proxy_win.h"

#include <windows.h>
#include <winhttp.h>

#include <map>
#include <mutex>

#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/provisioning_settings.h"

namespace {

struct WinHttpHandleTraits {
  static HINTERNET invalid() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { ::WinHttpCloseHandle(h); }
};
using UniqueWinHttp = tov::UniqueHandle<HINTERNET, WinHttpHandleTraits>;

// WinHTTP hands its strings over to the caller, who frees them globally.
std::string TakeString(LPWSTR& text) {
  std::string taken = text ? WideToAnsi(text) : std::string();
  if (text) ::GlobalFree(text);
  text = nullptr;
  return taken;
}

struct UserSettings {
  bool autoDetect = false;
  std::wstring autoConfigUrl;
  std::string proxy;
  std::string bypass;
};

UserSettings ReadUserSettings() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  UserSettings settings;
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return settings;
  settings.autoDetect = config.fAutoDetect != FALSE;
  if (config.lpszAutoConfigUrl) settings.autoConfigUrl = config.lpszAutoConfigUrl;
  TakeString(config.lpszAutoConfigUrl);
  settings.proxy = TakeString(config.lpszProxy);
  settings.bypass = TakeString(config.lpszProxyBypass);
  return settings;
}

// What the script or the detected one says for `address`; the error when
// neither gave an answer (no script found, it failed to load or to run).
DWORD AskAutoProxy(const UserSettings& settings, bool detect, const std::string& address,
                  SystemProxy& answer) {
  UniqueWinHttp session(::WinHttpOpen(L"TovLauncher", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return ::GetLastError();
  // Fetching the script is bound like every transfer of the launcher.
  int limit = static_cast<int>(CurrentProvisioningSettings().limits.connectSeconds) * 1000;
  ::WinHttpSetTimeouts(session.get(), limit, limit, limit, limit);
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (detect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!settings.autoConfigUrl.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = settings.autoConfigUrl.c_str();
  }
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info = {};
  std::wstring wideAddress = AnsiToWide(address);
  if (!::WinHttpGetProxyForUrl(session.get(), wideAddress.c_str(), &options, &info)) {
    return ::GetLastError();
  }
  std::string proxies = TakeString(info.lpszProxy);
  answer.bypass = TakeString(info.lpszProxyBypass);
  tov::AddressParts parts;
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && tov::SplitAddress(address, parts)) {
    answer.routes = tov::RoutesFromProxyText(proxies, parts.scheme);
  }
  return ERROR_SUCCESS;
}

SystemProxy LookUp(const std::string& address, bool& detectionFailed) {
  SystemProxy answer;
  tov::AddressParts parts;
  if (!tov::SplitAddress(address, parts)) return answer;
  UserSettings settings = ReadUserSettings();
  bool detect = settings.autoDetect && !detectionFailed;
  if (detect || !settings.autoConfigUrl.empty()) {
    DWORD error = AskAutoProxy(settings, detect, address, answer);
    if (error == ERROR_SUCCESS) return answer;
    // Nothing to be found on this network: later hosts go without asking.
    if (detect && error == ERROR_WINHTTP_AUTODETECTION_FAILED) detectionFailed = true;
  }
  // The manual setting, as Windows falls back to it.
  if (settings.proxy.empty() || tov::BypassesProxy(settings.bypass, parts)) return answer;
  answer.routes = tov::RoutesFromProxyText(settings.proxy, parts.scheme);
  answer.bypass = settings.bypass;
  return answer;
}

}  // namespace

SystemProxy SystemProxyFor(const std::string& address) {
  // Never destroyed: a worker may still ask while the process ends.
  static auto* lock = new std::mutex;
  static auto* known = new std::map<std::string, SystemProxy>;
  static bool detectionFailed = false;
  tov::AddressParts parts;
  std::string key = tov::SplitAddress(address, parts)
                        ? parts.scheme + "://" + parts.host + ":" + std::to_string(parts.port)
                        : address;
  std::lock_guard<std::mutex> hold(*lock);
  auto found = known->find(key);
  if (found != known->end()) return found->second;
  SystemProxy answer = LookUp(address, detectionFailed);
  known->emplace(key, answer);
  return answer;
}
